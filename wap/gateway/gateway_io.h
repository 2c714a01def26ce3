#pragma once

// What every part of the gateway uses to speak HTTP on its sockets.

#include <utility>  // Boost 1.74 awaitable.hpp uses std::exchange without it

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bounded_parser.h"
#include "proxy_target.h"
#include "wml_conversion.h"

namespace tessaly::wap {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using Tcp = asio::ip::tcp;
using asio::awaitable;

using RequestParser = BoundedParser<true, http::buffer_body>;
using ResponseParser = BoundedParser<false, http::buffer_body>;

// Room in a connection's read buffer: Beast reads at most what fits (and at
// least 512 bytes), so an unreserved buffer would read a body 512 bytes at a
// time.
inline constexpr std::size_t ReadRoom = 64 * 1024;
// How long an answer the gateway writes itself may wait for the client to
// read it: a client that reads nothing loses its connection.
inline constexpr auto AnswerWriteTimeout = std::chrono::seconds(30);

// 32 hexadecimal digits from the system's random source: the run's proxy
// password, a local file's address.
std::string RandomSecret();

// Whether a request has a body to read after its header.
bool HasBody(const RequestParser& parser);

// Removes the headers that describe one connection, not the message.
void EraseHopByHop(http::fields& fields);

// Ends a connection with a reset, so the engine sees a failed connection
// (and its own error page), not an answer.
void Reset(beast::tcp_stream& stream);

// A relay passes on what it has at once. With Nagle's algorithm on, a
// response's body written after its header waits for the engine to
// acknowledge the header, which the engine delays by up to 40 ms.
void SendAtOnce(Tcp::socket& socket);

// Writes a response the gateway made itself, within AnswerWriteTimeout.
awaitable<void> WriteAnswer(beast::tcp_stream& client, http::response<http::string_body>& response);

// Answers with `page` (a page that says the content is unreadable when
// there is none) in `response`, whose other headers are set.
awaitable<void> SendPage(beast::tcp_stream& client, http::response<http::string_body>& response,
                         std::optional<ConvertedPage> page, std::string_view url, bool keepAlive);

// A short answer of the gateway's own, never kept by the engine.
awaitable<void> Answer(beast::tcp_stream& client, http::status status, std::string_view contentType,
                       std::string body, bool keepAlive, bool proxyChallenge = false);

// Whether `address` is the machine itself or on a private network (RFC 1918,
// link-local, IPv6 unique-local), IPv4-mapped IPv6 addresses included.
bool IsLocalOrPrivate(const asio::ip::address& address);

// The addresses of a site, refusing the gateway's own port on this machine,
// where a request would come back to the gateway.
awaitable<Tcp::resolver::results_type> ResolveSite(const ProxyTarget& target,
                                                   std::uint16_t ownPort);

}  // namespace tessaly::wap
