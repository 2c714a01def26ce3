#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "gateway_io.h"
#include "note_pages.h"

namespace tessaly::wap {

// What kind of failure an error met before a site's answer began is, for the
// page that tells the user.
UnreachableKind UnreachableKindOf(const beast::error_code& error);

// The status the gateway answers with for a site it could not reach: 504 for
// a timeout, 502 otherwise.
http::status UnreachableStatus(UnreachableKind kind);

// The last failure of a CONNECT tunnel to each host and port: the engine
// only learns that the tunnel failed, and the browser asks here why.
// Written on the gateway's thread, read from any; the oldest are forgotten
// first. A tunnel that opens clears its entry.
class TunnelFailures {
public:
    void Record(const std::string& host, const std::string& port, UnreachableKind kind);
    UnreachableKind Last(const std::string& host, const std::string& port) const;

    static constexpr std::size_t MaxRemembered = 256;

private:
    mutable std::mutex mutex_;
    std::map<std::string, UnreachableKind> byPlace_;
    std::deque<std::string> order_;  // oldest first
};

}  // namespace tessaly::wap
