#include "wap_gateway.h"

#include <sys/resource.h>

#include <QByteArray>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <limits>
#include <thread>

#include "connection_limits.h"
#include "content_conversion.h"
#include "conversion_pool.h"
#include "gateway_io.h"
#include "local_files.h"
#include "note_pages.h"
#include "proxy_target.h"
#include "runtime_answer.h"
#include "script_units.h"
#include "site_failures.h"
#include "site_relay.h"
#include "tunnel.h"
#include "wap_content.h"
#include "wml_conversion.h"

namespace tessaly::wap {

using asio::use_awaitable;

namespace {

// An idle connection from the engine is dropped after this long.
constexpr auto ClientIdle = std::chrono::minutes(5);
// How long the gateway waits before accepting again when the system has no
// descriptor (or memory) for a new connection, instead of spinning.
constexpr auto AcceptBackoff = std::chrono::milliseconds(100);

std::size_t DescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

// Reads and converts a local file, on the pool. Made outside any coroutine:
// GCC 12 destroys some temporaries of an aggregate built inside one twice.
ConversionPool::Job LocalFileJob(std::string path, std::string name, std::string url,
                                 bool wantsUnit, RenderedDecks& decks) {
    return [path = std::move(path), name = std::move(name), url = std::move(url), wantsUnit,
            &decks]() -> std::optional<ConvertedPage> {
        auto body = ReadRegularFile(path, MaxConvertedBytes);
        if (!body) {
            return std::nullopt;
        }
        const std::string contentType = LocalContentType(name);
        const ContentKind kind = ClassifyContentType(contentType);
        if (kind == ContentKind::WmlScript && !wantsUnit) {
            return NotePageOf(WmlScriptNotePage(url));
        }
        if (IsConverted(kind) || IsXhtml(kind) || kind == ContentKind::WmlScript) {
            WapBody content;
            content.kind = kind;
            content.body = std::move(*body);
            content.contentType = contentType;
            content.url = url;
            content.referrer = url;  // opened by the user: its <access> admits it
            content.scripts = ScriptsBeside(path, url);
            return ConvertWapBody(std::move(content), decks);
        }
        ConvertedPage page;
        page.contentType = contentType;
        page.body = std::move(*body);
        return page;
    };
}

}  // namespace

struct WapGateway::Impl {
    Impl(RenderedDecks& decks, Options options)
        : decks(decks),
          options(options),
          limits(options.maxConnections ? options.maxConnections
                                        : ConnectionLimits::ConnectionsFor(DescriptorLimit())),
          pool(options.conversionTimeout),
          relay(SiteRelay::Settings{options.upstreamTimeout, 0}, pool, decks, jads),
          acceptor(context) {}

    awaitable<void> Accept();
    awaitable<void> Session(Tcp::socket socket);
    awaitable<bool> ServeLocalFile(beast::tcp_stream& client, const ProxyTarget& target,
                                   const std::string& url, bool keepAlive, bool wantsUnit);
    void Run();

    bool Authorized(const RequestParser& request) const {
        return request.get()[http::field::proxy_authorization] == expectedAuthorization;
    }

    RenderedDecks& decks;
    Options options;
    // Declared before the relay, which records into them.
    JadRegistry jads;
    TunnelFailures tunnelFailures;
    // Declared before the context: the connections it still holds when it
    // is destroyed give their places back and drop their references.
    ConnectionLimits limits;
    ConversionPool pool;
    SiteRelay relay;
    LocalFiles localFiles;
    asio::io_context context{1};
    Tcp::acceptor acceptor;
    std::thread thread;
    std::uint16_t port = 0;
    std::string user = "tessaly";
    std::string password = RandomSecret();
    std::string expectedAuthorization;
};

void WapGateway::Impl::Run() {
    // Nothing thrown on this thread may end the program: a handler that
    // throws loses its own connection, and serving goes on.
    for (;;) {
        try {
            context.run();
            return;
        } catch (...) {
        }
    }
}

awaitable<void> WapGateway::Impl::Accept() {
    asio::steady_timer backoff(context);
    for (;;) {
        beast::error_code error;
        Tcp::socket socket = co_await acceptor.async_accept(
            asio::make_strand(context), asio::redirect_error(use_awaitable, error));
        if (error == asio::error::operation_aborted) {
            co_return;
        }
        if (error) {
            // Out of descriptors or memory: the pending connection stays
            // queued, and accepting at once would fail at once again.
            backoff.expires_after(AcceptBackoff);
            co_await backoff.async_wait(asio::redirect_error(use_awaitable, error));
            continue;
        }
        SendAtOnce(socket);
        // The executor first: the socket is moved into the session.
        const auto executor = socket.get_executor();
        asio::co_spawn(executor, Session(std::move(socket)), asio::detached);
    }
}

awaitable<void> WapGateway::Impl::Session(Tcp::socket socket) {
    beast::tcp_stream client(std::move(socket));
    const auto ticket = limits.Admit(client.socket());
    if (!ticket) {
        Reset(client);
        co_return;
    }
    beast::flat_buffer clientBuffer;
    Upstream upstream;
    bool verified = false;
    try {
        for (;;) {
            RequestParser request;
            request.body_limit(std::numeric_limits<std::uint64_t>::max());
            request.header_limit(MaxHeaderBytes);
            // A new connection has little time to send a whole request
            // header: only the program's own, which carry the credential,
            // may stay longer.
            client.expires_after(
                verified ? std::chrono::steady_clock::duration(ClientIdle)
                         : std::chrono::steady_clock::duration(options.firstRequestTimeout));
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
            if (!verified) {
                verified = true;
                ticket->Verified();
                clientBuffer.reserve(ReadRoom);
            }
            if (header.method() == http::verb::connect) {
                auto target = ParseConnectTarget(header.target());
                if (!target) {
                    co_await Answer(client, http::status::bad_request, {}, {}, false);
                    break;
                }
                upstream.Drop();
                co_await Tunnel(std::move(client), std::move(clientBuffer), std::move(*target),
                                port, options.upstreamTimeout, options.tunnelIdle, tunnelFailures);
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
            if (LocalFiles::IsLocalHost(target->host)) {
                if (HasBody(request) ||
                    !co_await ServeLocalFile(client, *target, url, header.keep_alive(),
                                             AsksForScriptUnit(header[http::field::accept]))) {
                    break;
                }
                continue;
            }
            if (!co_await relay.Forward(client, clientBuffer, request, *target, url, upstream)) {
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
    client.socket().shutdown(Tcp::socket::shutdown_send, ignored);
}

awaitable<bool> WapGateway::Impl::ServeLocalFile(beast::tcp_stream& client,
                                                 const ProxyTarget& target, const std::string& url,
                                                 bool keepAlive, bool wantsUnit) {
    const auto found = localFiles.Find(target.host, target.path);
    if (found && !found->redirect.empty()) {
        http::response<http::string_body> moved{http::status::found, 11};
        moved.set(http::field::location, found->redirect);
        moved.set(http::field::cache_control, "no-store");
        moved.set("Referrer-Policy", "no-referrer");
        moved.keep_alive(keepAlive);
        moved.prepare_payload();
        co_await WriteAnswer(client, moved);
        co_return keepAlive;
    }
    // Read and converted on the pool: a slow disk or a large deck never
    // holds up the thread that moves bytes.
    std::optional<ConvertedPage> page;
    if (found) {
        ConversionPool::Job job = LocalFileJob(found->path, found->name, url, wantsUnit, decks);
        page = co_await pool.Run(std::move(job));
    }
    if (!page) {
        co_await Answer(client, http::status::not_found, "text/html; charset=utf-8",
                        UnreadablePage(url), keepAlive);
        co_return keepAlive;
    }
    http::response<http::string_body> response{http::status::ok, 11};
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    // The address holds the file's secret: no page it leads to may learn it.
    // Added last among the page's own headers, it replaces a deck's policy.
    page->headers.emplace_back("Referrer-Policy", "no-referrer");
    co_await SendPage(client, response, std::move(page), url, keepAlive);
    co_return keepAlive;
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
    const Tcp::endpoint local(asio::ip::make_address_v4("127.0.0.1"), 0);
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
    impl_->relay.SetOwnPort(impl_->port);
    asio::co_spawn(impl_->context, impl_->Accept(), asio::detached);
    impl_->thread = std::thread([this] { impl_->Run(); });
    return true;
}

void WapGateway::Stop() {
    if (!impl_->thread.joinable()) {
        return;
    }
    impl_->context.stop();
    impl_->thread.join();
    impl_->pool.Stop();
}

std::string WapGateway::LocalFileAddress(const std::string& path) {
    return impl_->localFiles.Share(path);
}

UnreachableKind WapGateway::LastTunnelFailure(const std::string& host,
                                              const std::string& port) const {
    return impl_->tunnelFailures.Last(host, port);
}

std::optional<JadDetails> WapGateway::JadDetailsFor(const std::string& url) const {
    return impl_->jads.Find(url);
}

std::uint16_t WapGateway::Port() const {
    return impl_->port;
}
const std::string& WapGateway::User() const {
    return impl_->user;
}
const std::string& WapGateway::Password() const {
    return impl_->password;
}

}  // namespace tessaly::wap
