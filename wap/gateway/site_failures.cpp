#include "site_failures.h"

#include <algorithm>
#include <boost/asio/error.hpp>
#include <cctype>

namespace tessaly::wap {

namespace {

// Hosts are compared without case, IPv6 literals without brackets.
std::string PlaceOf(const std::string& host, const std::string& port) {
    std::string place = host;
    if (place.size() >= 2 && place.front() == '[' && place.back() == ']') {
        place = place.substr(1, place.size() - 2);
    }
    std::transform(place.begin(), place.end(), place.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return place + " " + port;
}

}  // namespace

UnreachableKind UnreachableKindOf(const beast::error_code& error) {
    if (error == asio::error::host_not_found || error == asio::error::host_not_found_try_again ||
        error == asio::error::no_data || error == asio::error::no_recovery) {
        return UnreachableKind::UnknownHost;
    }
    if (error == asio::error::connection_refused) {
        return UnreachableKind::Refused;
    }
    if (error == beast::error::timeout || error == asio::error::timed_out) {
        return UnreachableKind::TimedOut;
    }
    if (error == asio::error::connection_reset || error == asio::error::connection_aborted ||
        error == asio::error::eof || error == asio::error::broken_pipe ||
        error == http::error::end_of_stream || error == http::error::partial_message) {
        return UnreachableKind::Reset;
    }
    return UnreachableKind::Other;
}

http::status UnreachableStatus(UnreachableKind kind) {
    return kind == UnreachableKind::TimedOut ? http::status::gateway_timeout
                                             : http::status::bad_gateway;
}

void TunnelFailures::Record(const std::string& host, const std::string& port,
                            UnreachableKind kind) {
    const std::string place = PlaceOf(host, port);
    std::lock_guard lock(mutex_);
    const auto found = byPlace_.find(place);
    if (found != byPlace_.end()) {
        byPlace_.erase(found);
        order_.erase(std::find(order_.begin(), order_.end(), place));
    }
    if (kind == UnreachableKind::None) {
        return;
    }
    byPlace_.emplace(place, kind);
    order_.push_back(place);
    if (order_.size() > MaxRemembered) {
        byPlace_.erase(order_.front());
        order_.pop_front();
    }
}

UnreachableKind TunnelFailures::Last(const std::string& host, const std::string& port) const {
    std::lock_guard lock(mutex_);
    const auto found = byPlace_.find(PlaceOf(host, port));
    return found == byPlace_.end() ? UnreachableKind::None : found->second;
}

}  // namespace tessaly::wap
