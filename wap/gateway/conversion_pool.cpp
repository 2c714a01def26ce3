#include "conversion_pool.h"

#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <memory>

namespace tessaly::wap {

ConversionPool::ConversionPool(std::chrono::milliseconds timeout) : timeout_(timeout) {}

ConversionPool::~ConversionPool() {
    Stop();
}

void ConversionPool::Stop() {
    threads_.join();
}

awaitable<std::optional<ConvertedPage>> ConversionPool::Run(Job job) {
    if (pending_->fetch_add(1) >= MostPending) {
        --*pending_;
        co_return std::nullopt;
    }
    auto executor = co_await asio::this_coro::executor;
    // The caller waits on a timer that the finished job cancels: whichever
    // comes first, the answer or the deadline, resumes it.
    struct Outcome {
        explicit Outcome(const asio::any_io_executor& executor) : finished(executor) {}
        asio::steady_timer finished;
        std::optional<ConvertedPage> page;
        bool done = false;
    };
    auto outcome = std::make_shared<Outcome>(executor);
    outcome->finished.expires_after(timeout_);
    asio::post(threads_, [job = std::move(job), outcome, executor, pending = pending_] {
        std::optional<ConvertedPage> page;
        try {
            page = job();
        } catch (...) {
            // Nothing a conversion throws leaves its thread: the page is
            // answered as unreadable.
            page.reset();
        }
        --*pending;
        asio::post(executor, [outcome, page = std::move(page)]() mutable {
            outcome->page = std::move(page);
            outcome->done = true;
            outcome->finished.cancel();
        });
    });
    beast::error_code ignored;
    co_await outcome->finished.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    if (!outcome->done) {
        co_return std::nullopt;
    }
    co_return std::move(outcome->page);
}

}  // namespace tessaly::wap
