#include "gateway_io.h"

#include <algorithm>
#include <boost/asio/error.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cctype>
#include <random>

#include "note_pages.h"

namespace tessaly::wap {

namespace {

// Headers that describe one connection, not the message: never forwarded.
constexpr http::field HopByHop[] = {
    http::field::connection,
    http::field::keep_alive,
    http::field::proxy_connection,
    http::field::proxy_authorization,
    http::field::proxy_authenticate,
    http::field::te,
    http::field::trailer,
    http::field::upgrade,
};

}  // namespace

std::string RandomSecret() {
    std::random_device source;
    std::string secret;
    constexpr char Digits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) {
        secret += Digits[source() % 16];
    }
    return secret;
}

bool HasBody(const RequestParser& parser) {
    return parser.chunked() || parser.content_length().value_or(0) > 0;
}

void EraseHopByHop(http::fields& fields) {
    for (const http::field name : HopByHop) {
        fields.erase(name);
    }
}

void Reset(beast::tcp_stream& stream) {
    beast::error_code ignored;
    stream.socket().set_option(asio::socket_base::linger(true, 0), ignored);
    stream.socket().close(ignored);
}

void SendAtOnce(Tcp::socket& socket) {
    beast::error_code ignored;
    socket.set_option(Tcp::no_delay(true), ignored);
}

awaitable<void> WriteAnswer(beast::tcp_stream& client,
                            http::response<http::string_body>& response) {
    client.expires_after(AnswerWriteTimeout);
    co_await http::async_write(client, response, asio::use_awaitable);
    client.expires_never();
}

awaitable<void> Answer(beast::tcp_stream& client, http::status status, std::string_view contentType,
                       std::string body, bool keepAlive, bool proxyChallenge) {
    http::response<http::string_body> response{status, 11};
    if (proxyChallenge) {
        response.set(http::field::proxy_authenticate, "Basic realm=\"Tessaly\"");
    }
    if (!contentType.empty()) {
        response.set(http::field::content_type, contentType);
    }
    response.set(http::field::cache_control, "no-store");
    response.body() = std::move(body);
    response.keep_alive(keepAlive);
    response.prepare_payload();
    co_await WriteAnswer(client, response);
}

awaitable<void> SendPage(beast::tcp_stream& client, http::response<http::string_body>& response,
                         std::optional<ConvertedPage> page, std::string_view url, bool keepAlive) {
    if (!page) {
        page = ConvertedPage{"text/html; charset=utf-8", UnreadablePage(url), {}};
    }
    response.set(http::field::content_type, page->contentType);
    for (const auto& [name, value] : page->headers) {
        response.set(name, value);
    }
    response.body() = std::move(page->body);
    response.keep_alive(keepAlive);
    response.prepare_payload();
    co_await WriteAnswer(client, response);
}

namespace {

// An IPv4-mapped IPv6 address as the IPv4 address it is; others unchanged.
asio::ip::address Unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

}  // namespace

bool IsLocalOrPrivate(const asio::ip::address& given) {
    const asio::ip::address address = Unmapped(given);
    if (address.is_v6()) {
        const auto v6 = address.to_v6();
        const auto bytes = v6.to_bytes();
        return v6.is_loopback() || v6.is_unspecified() || v6.is_link_local() ||
               (bytes[0] & 0xfe) == 0xfc;  // fc00::/7, unique local
    }
    const auto bytes = address.to_v4().to_bytes();
    return bytes[0] == 127 || bytes[0] == 10 || bytes[0] == 0 ||
           (bytes[0] == 172 && (bytes[1] & 0xf0) == 16) || (bytes[0] == 192 && bytes[1] == 168) ||
           (bytes[0] == 169 && bytes[1] == 254);
}

awaitable<Tcp::resolver::results_type> ResolveSite(const ProxyTarget& target,
                                                   std::uint16_t ownPort) {
    // Names under .invalid never exist: they are answered here, without
    // asking the system's resolver (which might ask the network).
    std::string host = target.host;
    while (!host.empty() && host.back() == '.') {
        host.pop_back();
    }
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (host == "invalid" || host.ends_with(".invalid")) {
        throw beast::system_error(asio::error::host_not_found);
    }
    Tcp::resolver resolver(co_await asio::this_coro::executor);
    auto endpoints = co_await resolver.async_resolve(target.host, target.port, asio::use_awaitable);
    for (const auto& entry : endpoints) {
        const auto address = Unmapped(entry.endpoint().address());
        if ((address.is_loopback() || address.is_unspecified()) &&
            entry.endpoint().port() == ownPort) {
            throw beast::system_error(asio::error::access_denied);
        }
    }
    co_return endpoints;
}

}  // namespace tessaly::wap
