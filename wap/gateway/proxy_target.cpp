#include "proxy_target.h"

#include <algorithm>
#include <cctype>

namespace tessaly::wap {

namespace {

bool ValidPort(std::string_view port) {
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return false;
    }
    const int value = std::stoi(std::string(port));
    return value > 0 && value <= 65535;
}

bool ValidHost(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':';
    });
}

// "host", "host:port", "[v6]" or "[v6]:port"; no user information.
std::optional<ProxyTarget> ParseAuthority(std::string_view authority,
                                          std::string_view defaultPort) {
    ProxyTarget target;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        target.host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            port = rest.substr(1);
        }
    } else {
        const std::size_t colon = authority.find(':');
        target.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
        }
        if (target.host.find(':') != std::string::npos) {
            return std::nullopt;
        }
    }
    target.port = port.empty() ? std::string(defaultPort) : std::string(port);
    if (!ValidHost(target.host) || !ValidPort(target.port)) {
        return std::nullopt;
    }
    return target;
}

}  // namespace

std::optional<ProxyTarget> ParseAbsoluteTarget(std::string_view target) {
    constexpr std::string_view Scheme = "http://";
    if (target.size() < Scheme.size() ||
        !std::equal(Scheme.begin(), Scheme.end(), target.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        return std::nullopt;
    }
    target.remove_prefix(Scheme.size());
    const std::size_t end = target.find_first_of("/?#");
    auto parsed = ParseAuthority(target.substr(0, end), "80");
    if (!parsed) {
        return std::nullopt;
    }
    std::string_view path = end == std::string_view::npos ? std::string_view{} : target.substr(end);
    path = path.substr(0, path.find('#'));
    parsed->path = path.starts_with('/') ? std::string(path) : "/" + std::string(path);
    return parsed;
}

std::optional<ProxyTarget> ParseConnectTarget(std::string_view authority) {
    if (authority.empty() || authority.back() == ']' ||
        authority.find(':') == std::string_view::npos) {
        return std::nullopt;
    }
    return ParseAuthority(authority, "");
}

}  // namespace tessaly::wap
