#include "kernel_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cerrno>
#include <memory>

namespace tessaly::wap {

namespace {
// How large a pipe is asked for: a larger pipe moves a download in fewer
// steps; the default size still works when the system refuses.
constexpr int WantedPipeBytes = 1024 * 1024;
constexpr std::size_t DefaultPipeBytes = 64 * 1024;
}  // namespace

KernelPipe::KernelPipe() {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        read_ = ends[0];
        write_ = ends[1];
        const int size = ::fcntl(write_, F_SETPIPE_SZ, WantedPipeBytes);
        capacity_ = size > 0 ? static_cast<std::size_t>(size) : DefaultPipeBytes;
    }
}

KernelPipe::~KernelPipe() {
    if (read_ >= 0) {
        ::close(read_);
        ::close(write_);
    }
}

awaitable<beast::error_code> SpliceBody(Tcp::socket& from, Tcp::socket& to, std::uint64_t length,
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
        if (remaining > 0 && inPipe < pipe.Capacity()) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(remaining, pipe.Capacity() - inPipe));
            const ssize_t got = ::splice(from.native_handle(), nullptr, pipe.WriteEnd(), nullptr,
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
            const ssize_t sent = ::splice(pipe.ReadEnd(), nullptr, to.native_handle(), nullptr,
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
            co_await to.async_wait(Tcp::socket::wait_write,
                                   asio::redirect_error(asio::use_awaitable, error));
        } else {
            co_await from.async_wait(Tcp::socket::wait_read,
                                     asio::redirect_error(asio::use_awaitable, error));
        }
        if (watch->timedOut) {
            error = asio::error::timed_out;
        }
    }
    watch->running = false;
    watchdog.cancel();
    co_return error;
}

}  // namespace tessaly::wap
