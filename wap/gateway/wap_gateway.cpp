#include "wap_gateway.h"

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <array>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "binary_deck.h"
#include "note_pages.h"
#include "proxy_target.h"
#include "rendered_decks.h"
#include "wap_content.h"
#include "wap_identity.h"
#include "wml_conversion.h"

namespace tessaly::wap {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using asio::awaitable;
using asio::use_awaitable;

namespace {

// Bytes moved per read while streaming a body through.
constexpr std::size_t RelayChunk = 256 * 1024;
// Room in a connection's read buffer: Beast reads at most what fits (and at
// least 512 bytes), so an unreserved buffer would read a body 512 bytes at a
// time.
constexpr std::size_t ReadRoom = 64 * 1024;
// Headers may be as large as the engine itself accepts (many cookies make
// tens of KB), and no larger.
constexpr std::uint32_t MaxHeaderBytes = 256 * 1024;
// An idle connection from the engine is dropped after this long.
constexpr auto ClientIdle = std::chrono::minutes(5);

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

template <class Fields>
void EraseHopByHop(Fields& fields) {
    for (const http::field name : HopByHop) {
        fields.erase(name);
    }
}

// The address local files are served under. The name can never resolve, so
// nothing outside the program ever sees a request for it.
constexpr char LocalFilesHost[] = "local.tessaly.invalid";

std::optional<std::string> ReadLocalFile(const std::string& path, std::size_t limit) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string body(limit + 1, '\0');
    file.read(body.data(), static_cast<std::streamsize>(body.size()));
    if (file.bad() || static_cast<std::size_t>(file.gcount()) > limit) {
        return std::nullopt;
    }
    body.resize(static_cast<std::size_t>(file.gcount()));
    return body;
}

// The type a local file is served as, from its name.
std::string LocalContentType(const std::string& name) {
    static const std::map<std::string, std::string> Types = {
        {"wml", "text/vnd.wap.wml"},
        {"wmlc", "application/vnd.wap.wmlc"},
        {"wbmp", "image/vnd.wap.wbmp"},
        {"xhtml", "application/vnd.wap.xhtml+xml"},
        {"html", "text/html"},
        {"htm", "text/html"},
        {"css", "text/css"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"wmls", "text/vnd.wap.wmlscript"},
    };
    const std::size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = Types.find(extension);
    return found == Types.end() ? "application/octet-stream" : found->second;
}

std::string RandomSecret() {
    std::random_device source;
    std::string secret;
    constexpr char Digits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) {
        secret += Digits[source() % 16];
    }
    return secret;
}

// Ends a connection with a reset, so the engine sees a failed connection
// (and its own error page), not an answer.
void Reset(beast::tcp_stream& stream) {
    beast::error_code ignored;
    stream.socket().set_option(asio::socket_base::linger(true, 0), ignored);
    stream.socket().close(ignored);
}

bool HasBody(const http::request_parser<http::buffer_body>& parser) {
    return parser.chunked() || parser.content_length().value_or(0) > 0;
}

// An upstream connection kept for the next request to the same place.
struct Upstream {
    std::optional<beast::tcp_stream> stream;
    beast::flat_buffer buffer;
    std::string key;

    void Drop() {
        if (stream) {
            beast::error_code ignored;
            stream->socket().close(ignored);
        }
        stream.reset();
        buffer.clear();
        key.clear();
    }
};

struct RelayResult {
    beast::error_code read;
    beast::error_code write;
};

// Moves the message `parser` reads from `from` on to `to`: its header, then
// its body a piece at a time, never whole. Reads (and writes) take at most
// their timeout, when one is given.
template <bool isRequest>
awaitable<RelayResult> Relay(beast::tcp_stream& from, beast::flat_buffer& buffer,
                             http::parser<isRequest, http::buffer_body>& parser,
                             beast::tcp_stream& to,
                             std::optional<std::chrono::milliseconds> readTimeout,
                             std::optional<std::chrono::milliseconds> writeTimeout) {
    auto& message = parser.get();
    http::serializer<isRequest, http::buffer_body> serializer(message);
    std::vector<char> chunk(parser.is_done() ? 0 : RelayChunk);
    RelayResult result;
    do {
        if (!parser.is_done()) {
            message.body().data = chunk.data();
            message.body().size = chunk.size();
            if (readTimeout) {
                from.expires_after(*readTimeout);
            }
            co_await http::async_read(from, buffer, parser,
                                      asio::redirect_error(use_awaitable, result.read));
            if (result.read == http::error::need_buffer) {
                result.read = {};
            }
            if (result.read) {
                break;
            }
            message.body().size = chunk.size() - message.body().size;
            message.body().data = chunk.data();
            message.body().more = !parser.is_done();
        } else {
            message.body().data = nullptr;
            message.body().size = 0;
            message.body().more = false;
        }
        if (writeTimeout) {
            to.expires_after(*writeTimeout);
        }
        co_await http::async_write(to, serializer,
                                   asio::redirect_error(use_awaitable, result.write));
        if (result.write == http::error::need_buffer) {
            result.write = {};
        }
        if (result.write) {
            break;
        }
    } while (!parser.is_done() || !serializer.is_done());
    from.expires_never();
    to.expires_never();
    co_return result;
}

// A relay passes on what it has at once. With Nagle's algorithm on, a
// response's body written after its header waits for the engine to
// acknowledge the header, which the engine delays by up to 40 ms.
void SendAtOnce(tcp::socket& socket) {
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
}

}  // namespace

// A pipe for moving bytes between two sockets inside the kernel.
class KernelPipe {
public:
    KernelPipe() {
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
            read_ = ends[0];
            write_ = ends[1];
            // A larger pipe moves a download in fewer steps; the default
            // size still works when the system refuses.
            const int size = ::fcntl(write_, F_SETPIPE_SZ, 1024 * 1024);
            capacity_ = size > 0 ? static_cast<std::size_t>(size) : 64 * 1024;
        }
    }
    ~KernelPipe() {
        if (read_ >= 0) {
            ::close(read_);
            ::close(write_);
        }
    }
    KernelPipe(const KernelPipe&) = delete;
    KernelPipe& operator=(const KernelPipe&) = delete;

    explicit operator bool() const { return read_ >= 0; }
    int readEnd() const { return read_; }
    int writeEnd() const { return write_; }
    std::size_t capacity() const { return capacity_; }

private:
    int read_ = -1;
    int write_ = -1;
    std::size_t capacity_ = 0;
};

// Moves `length` bytes from one socket to the other with splice(2), so a
// download never passes through the gateway's memory: two copies fewer per
// byte. Fails when either side stays silent for `idleTimeout`.
awaitable<beast::error_code> SpliceBody(tcp::socket& from, tcp::socket& to, std::uint64_t length,
                                        KernelPipe& pipe, std::chrono::milliseconds idleTimeout) {
    beast::error_code error;
    from.native_non_blocking(true, error);
    to.native_non_blocking(true, error);
    if (error) {
        co_return error;
    }
    // The watchdog's handler can be queued already when the transfer ends:
    // it reaches the sockets only while the transfer still runs.
    struct Watch {
        bool running = true;
        bool timedOut = false;
    };
    const auto watch = std::make_shared<Watch>();
    asio::steady_timer watchdog(co_await asio::this_coro::executor);
    const auto rearm = [&] {
        watchdog.expires_after(idleTimeout);
        watchdog.async_wait([watch, &from, &to](const beast::error_code& expired) {
            if (!expired && watch->running) {
                watch->timedOut = true;
                beast::error_code ignored;
                from.cancel(ignored);
                to.cancel(ignored);
            }
        });
    };
    const auto systemError = [] {
        return beast::error_code(errno, boost::system::system_category());
    };
    rearm();
    std::uint64_t remaining = length;
    std::size_t inPipe = 0;
    while ((remaining > 0 || inPipe > 0) && !error) {
        bool moved = false;
        bool writeBlocked = false;
        if (remaining > 0 && inPipe < pipe.capacity()) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(remaining, pipe.capacity() - inPipe));
            const ssize_t got = ::splice(from.native_handle(), nullptr, pipe.writeEnd(), nullptr,
                                         want, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (got > 0) {
                remaining -= static_cast<std::uint64_t>(got);
                inPipe += static_cast<std::size_t>(got);
                moved = true;
            } else if (got == 0) {
                error = asio::error::eof;
                break;
            } else if (errno != EAGAIN && errno != EINTR) {
                error = systemError();
                break;
            }
        }
        if (inPipe > 0) {
            const ssize_t sent = ::splice(pipe.readEnd(), nullptr, to.native_handle(), nullptr,
                                          inPipe, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (sent > 0) {
                inPipe -= static_cast<std::size_t>(sent);
                moved = true;
            } else if (errno == EAGAIN || errno == EINTR) {
                writeBlocked = true;
            } else {
                error = systemError();
                break;
            }
        }
        if (moved) {
            rearm();
            continue;
        }
        // Neither side could go on: wait for the one that holds things up.
        if (writeBlocked) {
            co_await to.async_wait(tcp::socket::wait_write,
                                   asio::redirect_error(use_awaitable, error));
        } else {
            co_await from.async_wait(tcp::socket::wait_read,
                                     asio::redirect_error(use_awaitable, error));
        }
        if (watch->timedOut) {
            error = asio::error::timed_out;
        }
    }
    watch->running = false;
    watchdog.cancel();
    co_return error;
}

struct WapGateway::Impl {
    Impl(RenderedDecks& decks, Options options)
        : decks(decks), options(options), acceptor(context) {}

    awaitable<void> Accept();
    awaitable<void> Session(tcp::socket socket);
    awaitable<void> Answer(beast::tcp_stream& client, http::status status,
                           std::string_view contentType, std::string body, bool keepAlive,
                           bool proxyChallenge = false);
    awaitable<tcp::resolver::results_type> Resolve(const ProxyTarget& target);
    awaitable<bool> Forward(beast::tcp_stream& client, beast::flat_buffer& clientBuffer,
                            http::request_parser<http::buffer_body>& request,
                            const ProxyTarget& target, const std::string& url, Upstream& upstream);
    awaitable<bool> Deliver(beast::tcp_stream& client, Upstream& upstream,
                            http::response_parser<http::buffer_body>& response,
                            const std::string& url, const std::string& referer, bool head,
                            bool keepAlive);
    awaitable<void> PipeFixedLength(beast::tcp_stream& client, Upstream& upstream,
                                    http::response_parser<http::buffer_body>& response);
    awaitable<void> Tunnel(beast::tcp_stream client, beast::flat_buffer clientBuffer,
                           ProxyTarget target);

    // A whole WAP body made into what the engine shows; nothing when it
    // cannot be read. Decks are recorded as rendered.
    std::optional<ConvertedPage> Convert(ContentKind kind, std::string body,
                                         const std::string& charset, const std::string& url);
    // Answers with `page` (a page that says the content is unreadable when
    // there is none) in `response`, whose other headers are set.
    awaitable<void> SendPage(beast::tcp_stream& client, http::response<http::string_body>& response,
                             std::optional<ConvertedPage> page, const std::string& url,
                             bool keepAlive);
    awaitable<void> ServeRuntime(beast::tcp_stream& client, http::verb method,
                                 const std::string& url, bool keepAlive);
    awaitable<bool> ServeLocalFile(beast::tcp_stream& client, const ProxyTarget& target,
                                   const std::string& url, bool keepAlive);

    bool Authorized(const http::request_parser<http::buffer_body>& request) const {
        const auto header = request.get()[http::field::proxy_authorization];
        return header == expectedAuthorization;
    }

    RenderedDecks& decks;
    Options options;
    asio::io_context context{1};
    tcp::acceptor acceptor;
    std::thread thread;
    std::uint16_t port = 0;
    std::string user = "tessaly";
    std::string password = RandomSecret();
    std::string expectedAuthorization;
    // Folders of local files the user opened, by the secret part of their address.
    std::mutex sharedMutex;
    std::map<std::string, std::string> sharedFolders;
};

std::optional<ConvertedPage> WapGateway::Impl::Convert(ContentKind kind, std::string body,
                                                       const std::string& charset,
                                                       const std::string& url) {
    if (kind == ContentKind::Wbmp) {
        if (auto png = WbmpToPng(body)) {
            return ConvertedPage{"image/png", std::move(*png), {}};
        }
        return std::nullopt;
    }
    std::optional<std::string> deck;
    if (kind == ContentKind::Wmlc) {
        deck = DecodeWmlc(body);
    } else {
        deck = std::move(body);
    }
    if (!deck) {
        return std::nullopt;
    }
    ConvertedPage page =
        ConvertWmlDeck(*deck, url, kind == ContentKind::Wmlc ? std::string("utf-8") : charset,
                       RuntimeDelivery::ByAddress);
    decks.Add(url);
    return page;
}

awaitable<void> WapGateway::Impl::ServeRuntime(beast::tcp_stream& client, http::verb method,
                                               const std::string& url, bool keepAlive) {
    // Pages converted by an earlier version of the program, still in the
    // engine's cache, ask for the runtime of that version: they get this one,
    // which is not to be kept under the old address.
    const std::string_view current = WmlRuntimeAddress();
    const std::string_view prefix = current.substr(0, current.rfind('-') + 1);
    const bool isCurrent = url == current;
    const bool isRuntime = url.starts_with(prefix) && url.ends_with(".js") &&
                           url.find_first_of("/?#", prefix.size()) == std::string::npos;
    if (!isRuntime || (method != http::verb::get && method != http::verb::head)) {
        co_await Answer(client, http::status::not_found, {}, {}, keepAlive);
        co_return;
    }
    // The address changes with the script, so the engine may keep it for good.
    http::response<http::string_body> response{http::status::ok, 11};
    response.set(http::field::content_type, "text/javascript; charset=utf-8");
    response.set(http::field::cache_control,
                 isCurrent ? "public, max-age=31536000, immutable" : "no-cache");
    response.set("X-Content-Type-Options", "nosniff");
    response.body() = WmlRuntime();
    response.keep_alive(keepAlive);
    response.prepare_payload();
    if (method == http::verb::head) {
        response.body().clear();
    }
    co_await http::async_write(client, response, use_awaitable);
}

awaitable<bool> WapGateway::Impl::ServeLocalFile(beast::tcp_stream& client,
                                                 const ProxyTarget& target, const std::string& url,
                                                 bool keepAlive) {
    // "/<secret>/<name>": only files directly in a folder the user opened a
    // file from, never below or above it.
    const std::string path = target.path.substr(0, target.path.find('?'));
    const std::size_t slash = path.find('/', 1);
    std::string folder;
    if (slash != std::string::npos) {
        std::lock_guard lock(sharedMutex);
        const auto found = sharedFolders.find(path.substr(1, slash - 1));
        if (found != sharedFolders.end()) {
            folder = found->second;
        }
    }
    const std::string name =
        slash == std::string::npos
            ? std::string()
            : QByteArray::fromPercentEncoding(QByteArray::fromStdString(path.substr(slash + 1)))
                  .toStdString();
    std::optional<std::string> body;
    if (!folder.empty() && !name.empty() && name.find('/') == std::string::npos &&
        name.find('\\') == std::string::npos && name != "." && name != "..") {
        body = ReadLocalFile(folder + "/" + name, MaxConvertedBytes);
    }
    if (!body) {
        co_await Answer(client, http::status::not_found, "text/html; charset=utf-8",
                        UnreadablePage(url), keepAlive);
        co_return keepAlive;
    }
    const std::string contentType = LocalContentType(name);
    const ContentKind kind = ClassifyContentType(contentType);
    std::optional<ConvertedPage> page;
    if (IsConverted(kind)) {
        page = Convert(kind, std::move(*body), {}, url);
    } else if (kind == ContentKind::XhtmlMobile) {
        page = ConvertedPage{RelabelXhtmlMobile(contentType), std::move(*body), {}};
    } else {
        page = ConvertedPage{contentType, std::move(*body), {}};
    }
    http::response<http::string_body> response{http::status::ok, 11};
    response.set(http::field::cache_control, "no-store");
    co_await SendPage(client, response, std::move(page), url, keepAlive);
    co_return keepAlive;
}

awaitable<void> WapGateway::Impl::SendPage(beast::tcp_stream& client,
                                           http::response<http::string_body>& response,
                                           std::optional<ConvertedPage> page,
                                           const std::string& url, bool keepAlive) {
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
    co_await http::async_write(client, response, use_awaitable);
}

awaitable<void> WapGateway::Impl::Accept() {
    for (;;) {
        beast::error_code error;
        tcp::socket socket = co_await acceptor.async_accept(
            asio::make_strand(context), asio::redirect_error(use_awaitable, error));
        if (error == asio::error::operation_aborted) {
            co_return;
        }
        if (!error) {
            SendAtOnce(socket);
            asio::co_spawn(socket.get_executor(), Session(std::move(socket)), asio::detached);
        }
    }
}

awaitable<void> WapGateway::Impl::Answer(beast::tcp_stream& client, http::status status,
                                         std::string_view contentType, std::string body,
                                         bool keepAlive, bool proxyChallenge) {
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
    co_await http::async_write(client, response, use_awaitable);
}

awaitable<tcp::resolver::results_type> WapGateway::Impl::Resolve(const ProxyTarget& target) {
    tcp::resolver resolver(co_await asio::this_coro::executor);
    auto endpoints = co_await resolver.async_resolve(target.host, target.port, use_awaitable);
    // The gateway's own port is not a site: a request there would loop.
    for (const auto& entry : endpoints) {
        const auto address = entry.endpoint().address();
        if ((address.is_loopback() || address.is_unspecified()) &&
            entry.endpoint().port() == port) {
            throw beast::system_error(asio::error::access_denied);
        }
    }
    co_return endpoints;
}

awaitable<void> WapGateway::Impl::Session(tcp::socket socket) {
    beast::tcp_stream client(std::move(socket));
    beast::flat_buffer clientBuffer;
    clientBuffer.reserve(ReadRoom);
    Upstream upstream;
    try {
        for (;;) {
            http::request_parser<http::buffer_body> request;
            request.body_limit(std::numeric_limits<std::uint64_t>::max());
            request.header_limit(MaxHeaderBytes);
            client.expires_after(ClientIdle);
            beast::error_code error;
            co_await http::async_read_header(client, clientBuffer, request,
                                             asio::redirect_error(use_awaitable, error));
            if (error == http::error::end_of_stream) {
                break;  // the engine closed a connection it kept
            }
            if (error) {
                throw beast::system_error(error);
            }
            client.expires_never();
            const auto& header = request.get();
            const bool keepAlive = header.keep_alive() && !HasBody(request);

            if (!Authorized(request)) {
                // Nothing about the request is kept or written anywhere.
                co_await Answer(client, http::status::proxy_authentication_required, {}, {},
                                keepAlive, true);
                if (!keepAlive) {
                    break;
                }
                continue;
            }
            if (header.method() == http::verb::connect) {
                auto target = ParseConnectTarget(header.target());
                if (!target) {
                    co_await Answer(client, http::status::bad_request, {}, {}, false);
                    break;
                }
                upstream.Drop();
                co_await Tunnel(std::move(client), std::move(clientBuffer), std::move(*target));
                co_return;
            }
            const std::string url(header.target());
            auto target = ParseAbsoluteTarget(url);
            if (!target) {
                co_await Answer(client, http::status::bad_request, {}, {}, false);
                break;
            }
            if (target->host == WmlRuntimeHost) {
                if (HasBody(request)) {
                    break;
                }
                co_await ServeRuntime(client, header.method(), url, header.keep_alive());
                if (!header.keep_alive()) {
                    break;
                }
                continue;
            }
            if (target->host == LocalFilesHost) {
                if (HasBody(request) ||
                    !co_await ServeLocalFile(client, *target, url, header.keep_alive())) {
                    break;
                }
                continue;
            }
            if (!co_await Forward(client, clientBuffer, request, *target, url, upstream)) {
                break;
            }
        }
    } catch (const std::exception&) {
        // The engine or the site went away, or a site failed before its answer
        // began: either way the connection ends here, abruptly.
        Reset(client);
        co_return;
    }
    beast::error_code ignored;
    client.socket().shutdown(tcp::socket::shutdown_send, ignored);
}

awaitable<bool> WapGateway::Impl::Forward(beast::tcp_stream& client,
                                          beast::flat_buffer& clientBuffer,
                                          http::request_parser<http::buffer_body>& request,
                                          const ProxyTarget& target, const std::string& url,
                                          Upstream& upstream) {
    auto& message = request.get();
    const bool clientKeepAlive = message.keep_alive();
    const bool head = message.method() == http::verb::head;
    const std::string referer(message[http::field::referer]);
    const bool hasBody = HasBody(request);

    // The same request, for the site: origin-form target, no proxy headers,
    // the phone's identity.
    EraseHopByHop(message);
    message.target(target.path);
    message.set(http::field::user_agent, PhoneUserAgent);
    message.set(http::field::accept, PhoneAccept);
    message.keep_alive(true);

    const std::string key = target.host + ":" + target.port;
    // A connection kept from an earlier request may have been closed by the
    // site meanwhile; a request without a body is then sent once more on a
    // fresh one. A body is never sent twice.
    const bool reused = upstream.stream && upstream.key == key && !hasBody;
    if (!reused) {
        upstream.Drop();
    }
    for (int attempt = reused ? 0 : 1; attempt < 2; ++attempt) {
        if (!upstream.stream) {
            auto endpoints = co_await Resolve(target);
            upstream.stream.emplace(co_await asio::this_coro::executor);
            upstream.buffer.reserve(ReadRoom);
            upstream.stream->expires_after(options.upstreamTimeout);
            co_await upstream.stream->async_connect(endpoints, use_awaitable);
            SendAtOnce(upstream.stream->socket());
            upstream.key = key;
        }
        // Sent once: a failure to send makes the connection unusable, and a
        // request without a body is then tried once more on a fresh one.
        const RelayResult sent = co_await Relay(client, clientBuffer, request, *upstream.stream,
                                                options.upstreamTimeout, options.upstreamTimeout);
        if (sent.read) {
            throw beast::system_error(sent.read);
        }
        beast::error_code error = sent.write;

        std::optional<http::response_parser<http::buffer_body>> response;
        // A provisional answer (100 Continue) is followed by the real one.
        while (!error && (!response || response->get().result_int() / 100 == 1)) {
            response.emplace();
            response->body_limit(std::numeric_limits<std::uint64_t>::max());
            response->header_limit(MaxHeaderBytes);
            response->skip(head);
            upstream.stream->expires_after(options.upstreamTimeout);
            co_await http::async_read_header(*upstream.stream, upstream.buffer, *response,
                                             asio::redirect_error(use_awaitable, error));
        }
        if (error) {
            upstream.Drop();
            if (attempt == 0) {
                error = {};
                continue;
            }
            throw beast::system_error(error);
        }
        co_return co_await Deliver(client, upstream, *response, url, referer, head,
                                   clientKeepAlive);
    }
    co_return false;
}

awaitable<bool> WapGateway::Impl::Deliver(beast::tcp_stream& client, Upstream& upstream,
                                          http::response_parser<http::buffer_body>& response,
                                          const std::string& url, const std::string& referer,
                                          bool head, bool keepAlive) {
    auto& message = response.get();
    const std::string contentType(message[http::field::content_type]);
    const ContentKind kind = ClassifyContentType(contentType);
    const unsigned status = message.result_int();
    const bool hasBody = !head && status != 204 && status != 304;
    if (status == 304) {
        // The engine takes a 304's headers in place of those it keeps; the
        // page it keeps may be one made from a deck, with a policy of ours.
        message.erase("Content-Security-Policy");
    }

    if (kind == ContentKind::WmlScript && hasBody) {
        upstream.Drop();
        co_await Answer(client, http::status::ok, "text/html; charset=utf-8",
                        WmlScriptNotePage(referer), keepAlive);
        co_return keepAlive;
    }

    if (IsConverted(kind) && hasBody) {
        // A declared length is checked now; the limit covers the others.
        const bool tooLong = response.content_length().value_or(0) > MaxConvertedBytes;
        http::response_parser<http::string_body> whole(std::move(response));
        whole.body_limit(MaxConvertedBytes);
        beast::error_code error = tooLong ? http::error::body_limit : beast::error_code{};
        if (!tooLong) {
            upstream.stream->expires_after(options.upstreamTimeout);
            co_await http::async_read(*upstream.stream, upstream.buffer, whole,
                                      asio::redirect_error(use_awaitable, error));
        }
        if (error == http::error::body_limit) {
            upstream.Drop();
            co_await Answer(client, http::status::bad_gateway, "text/html; charset=utf-8",
                            TooLargePage(url), keepAlive);
            co_return keepAlive;
        }
        if (error) {
            throw beast::system_error(error);
        }
        if (!whole.keep_alive()) {
            upstream.Drop();
        }
        auto& original = whole.get();
        std::string body = std::move(original.body());
        const std::string encoding = MediaType(original[http::field::content_encoding]);
        bool readable = true;
        if (!encoding.empty() && encoding != "identity") {
            auto inflated = (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate")
                                ? Inflate(body, MaxConvertedBytes)
                                : std::nullopt;
            readable = inflated.has_value();
            body = inflated.value_or(std::string{});
        }

        http::response<http::string_body> converted{original.result(), 11};
        for (const auto& field : original) {
            converted.insert(field.name_string(), field.value());
        }
        EraseHopByHop(converted);
        for (const http::field name :
             {http::field::content_type, http::field::content_length, http::field::content_encoding,
              http::field::transfer_encoding}) {
            converted.erase(name);
        }
        // The site's policy was written for its deck; the page made from it
        // brings its own.
        converted.erase("Content-Security-Policy");

        std::optional<ConvertedPage> page;
        if (readable) {
            page = Convert(kind, std::move(body), CharsetOf(contentType), url);
        }
        co_await SendPage(client, converted, std::move(page), url, keepAlive);
        co_return keepAlive;
    }

    // Everything else goes through as it came, read and written a piece at a
    // time; only the connection headers are the gateway's own.
    if (kind == ContentKind::XhtmlMobile || (kind != ContentKind::PassThrough && !hasBody)) {
        message.set(http::field::content_type,
                    kind == ContentKind::XhtmlMobile ? RelabelXhtmlMobile(contentType)
                    : kind == ContentKind::Wbmp      ? std::string("image/png")
                                                     : std::string("text/html; charset=utf-8"));
    }
    const bool upstreamKeepAlive = response.keep_alive() && !response.need_eof();
    const bool clientKeepAlive = keepAlive && !response.need_eof();
    EraseHopByHop(message);
    message.keep_alive(clientKeepAlive);

    if (hasBody && !response.chunked() && response.content_length()) {
        co_await PipeFixedLength(client, upstream, response);
        if (!upstreamKeepAlive) {
            upstream.Drop();
        }
        co_return clientKeepAlive;
    }
    // The engine may stop reading for a while (a paused download): writing
    // to it has no time limit.
    const RelayResult relayed = co_await Relay(*upstream.stream, upstream.buffer, response, client,
                                               options.upstreamTimeout, std::nullopt);
    if (relayed.read || relayed.write) {
        // The site broke off, or the engine went: so does the other side, and
        // the engine sees the load fail.
        upstream.Drop();
        throw beast::system_error(relayed.read ? relayed.read : relayed.write);
    }
    if (!upstreamKeepAlive) {
        upstream.Drop();
    }
    co_return clientKeepAlive;
}

// A body of known length (most downloads) goes through as raw bytes, read
// in large pieces: the parser would take them 64 KiB at a time.
awaitable<void> WapGateway::Impl::PipeFixedLength(
    beast::tcp_stream& client, Upstream& upstream,
    http::response_parser<http::buffer_body>& response) {
    std::uint64_t remaining = *response.content_length();
    const std::size_t early =
        static_cast<std::size_t>(std::min<std::uint64_t>(upstream.buffer.size(), remaining));
    // The header and what of the body came with it leave together: a small
    // page then reaches the engine in one piece.
    std::ostringstream header;
    header << response.get().base();
    const std::string headerText = header.str();
    const std::array<asio::const_buffer, 2> first{asio::buffer(headerText),
                                                  asio::buffer(upstream.buffer.data(), early)};
    co_await asio::async_write(client, first, use_awaitable);
    upstream.buffer.consume(early);
    remaining -= early;
    beast::error_code error;
    KernelPipe pipe;
    if (pipe) {
        upstream.stream->expires_never();
        error = co_await SpliceBody(upstream.stream->socket(), client.socket(), remaining, pipe,
                                    options.upstreamTimeout);
        remaining = 0;
    }
    std::vector<char> chunk(remaining > 0 ? RelayChunk : 0);
    while (remaining > 0 && !error) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), remaining));
        upstream.stream->expires_after(options.upstreamTimeout);
        const std::size_t got = co_await upstream.stream->async_read_some(
            asio::buffer(chunk.data(), want), asio::redirect_error(use_awaitable, error));
        if (!error) {
            co_await asio::async_write(client, asio::buffer(chunk.data(), got),
                                       asio::redirect_error(use_awaitable, error));
        }
        remaining -= error ? 0 : got;
    }
    if (error) {
        // The site broke off, or the engine went: the engine sees the load fail.
        upstream.Drop();
        throw beast::system_error(error);
    }
    upstream.stream->expires_never();
}

awaitable<void> WapGateway::Impl::Tunnel(beast::tcp_stream client, beast::flat_buffer clientBuffer,
                                         ProxyTarget target) {
    struct Ends {
        tcp::socket client;
        tcp::socket site;
    };
    beast::tcp_stream site(co_await asio::this_coro::executor);
    bool connected = false;
    try {
        auto endpoints = co_await Resolve(target);
        site.expires_after(options.upstreamTimeout);
        co_await site.async_connect(endpoints, use_awaitable);
        SendAtOnce(site.socket());
        site.expires_never();
        connected = true;
    } catch (const std::exception&) {
    }
    if (!connected) {
        // The engine reports a tunnel that cannot be opened as a failed load.
        co_await Answer(client, http::status::bad_gateway, {}, {}, false);
        co_return;
    }
    static constexpr std::string_view Established = "HTTP/1.1 200 Connection Established\r\n\r\n";
    co_await asio::async_write(client, asio::buffer(Established), use_awaitable);
    if (clientBuffer.size() > 0) {
        co_await asio::async_write(site, clientBuffer.data(), use_awaitable);
    }
    auto ends = std::make_shared<Ends>(Ends{client.release_socket(), site.release_socket()});

    auto pump = [](std::shared_ptr<Ends> ends, bool fromClient) -> awaitable<void> {
        tcp::socket& from = fromClient ? ends->client : ends->site;
        tcp::socket& to = fromClient ? ends->site : ends->client;
        std::vector<char> chunk(64 * 1024);
        beast::error_code error;
        for (;;) {
            const std::size_t got = co_await from.async_read_some(
                asio::buffer(chunk), asio::redirect_error(use_awaitable, error));
            if (error) {
                break;
            }
            co_await asio::async_write(to, asio::buffer(chunk.data(), got),
                                       asio::redirect_error(use_awaitable, error));
            if (error) {
                break;
            }
        }
        beast::error_code ignored;
        if (error == asio::error::eof) {
            to.shutdown(tcp::socket::shutdown_send, ignored);
        } else {
            from.close(ignored);
            to.close(ignored);
        }
    };
    auto executor = co_await asio::this_coro::executor;
    asio::co_spawn(executor, pump(ends, false), asio::detached);
    co_await pump(ends, true);
}

WapGateway::WapGateway(RenderedDecks& decks) : WapGateway(decks, Options{}) {}

WapGateway::WapGateway(RenderedDecks& decks, Options options)
    : impl_(std::make_unique<Impl>(decks, options)) {
    const QByteArray credentials = QByteArray::fromStdString(impl_->user + ":" + impl_->password);
    impl_->expectedAuthorization = "Basic " + credentials.toBase64().toStdString();
}

WapGateway::~WapGateway() {
    Stop();
}

bool WapGateway::Start() {
    if (impl_->thread.joinable()) {
        return true;
    }
    beast::error_code error;
    const tcp::endpoint local(asio::ip::make_address_v4("127.0.0.1"), 0);
    impl_->acceptor.open(local.protocol(), error);
    if (!error) {
        impl_->acceptor.bind(local, error);
    }
    if (!error) {
        impl_->acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        impl_->acceptor.close(error);
        return false;
    }
    impl_->port = impl_->acceptor.local_endpoint().port();
    asio::co_spawn(impl_->context, impl_->Accept(), asio::detached);
    impl_->thread = std::thread([this] { impl_->context.run(); });
    return true;
}

void WapGateway::Stop() {
    if (!impl_->thread.joinable()) {
        return;
    }
    impl_->context.stop();
    impl_->thread.join();
}

std::string WapGateway::LocalFileAddress(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return {};
    }
    const std::string folder = path.substr(0, slash);
    std::string secret;
    {
        std::lock_guard lock(impl_->sharedMutex);
        for (const auto& [key, shared] : impl_->sharedFolders) {
            if (shared == folder) {
                secret = key;
            }
        }
        if (secret.empty()) {
            secret = RandomSecret();
            impl_->sharedFolders.emplace(secret, folder);
        }
    }
    const QByteArray name = QByteArray::fromStdString(path.substr(slash + 1)).toPercentEncoding();
    return std::string("http://") + LocalFilesHost + "/" + secret + "/" + name.toStdString();
}

std::uint16_t WapGateway::port() const {
    return impl_->port;
}
const std::string& WapGateway::user() const {
    return impl_->user;
}
const std::string& WapGateway::password() const {
    return impl_->password;
}

}  // namespace tessaly::wap
