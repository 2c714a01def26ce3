#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// Where a proxied request goes: from an absolute-form target
// ("http://host:port/path?query") or a CONNECT authority ("host:port").
struct ProxyTarget {
    std::string host;  // without brackets for IPv6 literals
    std::string port;
    std::string path;  // origin-form, "/" at least; empty for CONNECT
};

// Only http is accepted in absolute form; the engine sends https as CONNECT.
std::optional<ProxyTarget> ParseAbsoluteTarget(std::string_view target);
// CONNECT needs an explicit port.
std::optional<ProxyTarget> ParseConnectTarget(std::string_view authority);

}  // namespace tessaly::wap
