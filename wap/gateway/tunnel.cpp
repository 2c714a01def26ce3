#include "tunnel.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <memory>
#include <vector>

#include "site_failures.h"

namespace tessaly::wap {

namespace {

constexpr std::size_t TunnelChunk = 64 * 1024;

// Both sockets of an open tunnel and its idle watch, shared by the two
// directions; whichever ends last frees them.
struct TunnelEnds {
    TunnelEnds(Tcp::socket client, Tcp::socket site, std::chrono::milliseconds idle)
        : client(std::move(client)),
          site(std::move(site)),
          watchdog(this->client.get_executor()),
          idle(idle) {}

    void Rearm() {
        watchdog.expires_after(idle);
        watchdog.async_wait([this](const beast::error_code& error) {
            if (!error) {
                Close();
            }
        });
    }
    void Close() {
        beast::error_code ignored;
        client.close(ignored);
        site.close(ignored);
        watchdog.cancel();
    }

    Tcp::socket client;
    Tcp::socket site;
    asio::steady_timer watchdog;
    std::chrono::milliseconds idle;
};

awaitable<void> Pump(std::shared_ptr<TunnelEnds> ends, bool fromClient) {
    Tcp::socket& from = fromClient ? ends->client : ends->site;
    Tcp::socket& to = fromClient ? ends->site : ends->client;
    std::vector<char> chunk(TunnelChunk);
    beast::error_code error;
    for (;;) {
        const std::size_t got = co_await from.async_read_some(
            asio::buffer(chunk), asio::redirect_error(asio::use_awaitable, error));
        if (error) {
            break;
        }
        ends->Rearm();
        co_await asio::async_write(to, asio::buffer(chunk.data(), got),
                                   asio::redirect_error(asio::use_awaitable, error));
        if (error) {
            break;
        }
    }
    beast::error_code ignored;
    if (error == asio::error::eof && to.is_open()) {
        to.shutdown(Tcp::socket::shutdown_send, ignored);
    } else {
        ends->Close();
    }
}

}  // namespace

awaitable<void> Tunnel(beast::tcp_stream client, beast::flat_buffer clientBuffer,
                       ProxyTarget target, std::uint16_t ownPort,
                       std::chrono::milliseconds connectTimeout, std::chrono::milliseconds idle,
                       TunnelFailures& failures) {
    beast::tcp_stream site(co_await asio::this_coro::executor);
    beast::error_code failure;
    try {
        auto endpoints = co_await ResolveSite(target, ownPort);
        site.expires_after(connectTimeout);
        co_await site.async_connect(endpoints, asio::redirect_error(asio::use_awaitable, failure));
    } catch (const beast::system_error& error) {
        failure = error.code();
    }
    if (failure) {
        // The engine reports a tunnel that cannot be opened as a failed load,
        // whatever the answer says; the browser learns why from `failures`.
        failures.Record(target.host, target.port, UnreachableKindOf(failure));
        co_await Answer(client, http::status::bad_gateway, {}, {}, false);
        co_return;
    }
    failures.Record(target.host, target.port, UnreachableKind::None);
    SendAtOnce(site.socket());
    site.expires_never();
    static constexpr std::string_view Established = "HTTP/1.1 200 Connection Established\r\n\r\n";
    client.expires_after(AnswerWriteTimeout);
    co_await asio::async_write(client, asio::buffer(Established), asio::use_awaitable);
    if (clientBuffer.size() > 0) {
        site.expires_after(connectTimeout);
        co_await asio::async_write(site, clientBuffer.data(), asio::use_awaitable);
    }
    client.expires_never();
    site.expires_never();
    auto ends = std::make_shared<TunnelEnds>(client.release_socket(), site.release_socket(), idle);
    ends->Rearm();
    asio::co_spawn(co_await asio::this_coro::executor, Pump(ends, false), asio::detached);
    co_await Pump(ends, true);
}

}  // namespace tessaly::wap
