// The conversion pool keeps the gateway's thread free: a conversion runs
// elsewhere, a slow one is given up after its time, a failing one is only
// an unreadable page, and no more than a bounded number wait.

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <future>
#include <stdexcept>

#include "conversion_pool.h"

namespace tessaly::wap {
namespace {

using Result = std::optional<std::optional<ConvertedPage>>;

awaitable<void> Convert(ConversionPool& pool, ConversionPool::Job job, Result& result) {
    result = co_await pool.Run(std::move(job));
}

// Counts how often the gateway's thread got to run something else while
// `result` was still awaited.
awaitable<void> Tick(Result& result, int& ticks) {
    asio::steady_timer timer(co_await asio::this_coro::executor);
    while (!result) {
        timer.expires_after(std::chrono::milliseconds(5));
        co_await timer.async_wait(asio::use_awaitable);
        ticks += result ? 0 : 1;
    }
}

ConvertedPage PageOf(std::string body) {
    ConvertedPage page;
    page.body = std::move(body);
    return page;
}

TEST(ConversionPool, AnswersOrGivesUpWithoutHoldingUpTheGatewaysThread) {
    asio::io_context context;
    ConversionPool pool(std::chrono::milliseconds(300));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const struct {
        const char* name;
        ConversionPool::Job job;
        bool answered;
    } cases[] = {
        {"done", [] { return std::optional<ConvertedPage>(PageOf("page")); }, true},
        {"throws", []() -> std::optional<ConvertedPage> { throw std::runtime_error("bad"); },
         false},
        {"too slow",
         [released] {
             released.wait();
             return std::optional<ConvertedPage>(PageOf("late"));
         },
         false},
    };
    for (const auto& c : cases) {
        Result result;
        int ticks = 0;
        asio::co_spawn(context, Convert(pool, c.job, result), asio::detached);
        asio::co_spawn(context, Tick(result, ticks), asio::detached);
        context.restart();
        context.run();
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_EQ(result->has_value(), c.answered) << c.name;
        if (c.answered) {
            EXPECT_EQ((*result)->body, "page");
        }
        if (std::string(c.name) == "too slow") {
            EXPECT_GT(ticks, 10) << "the gateway's thread waited for the conversion";
        }
    }
    release.set_value();
}

TEST(ConversionPool, RefusesAtOnceWhenTooManyWait) {
    asio::io_context context;
    ConversionPool pool(std::chrono::seconds(30));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const ConversionPool::Job blocked = [released] {
        released.wait();
        return std::optional<ConvertedPage>(PageOf("late"));
    };
    // The bound itself is the point: 32 conversions at most, not "whatever
    // the constant says" (a bound of thousands would hold that much memory).
    constexpr std::size_t Bound = 32;
    static_assert(ConversionPool::MostPending <= Bound);
    std::vector<Result> waiting(ConversionPool::MostPending);
    for (Result& result : waiting) {
        asio::co_spawn(context, Convert(pool, blocked, result), asio::detached);
    }
    Result refused;
    asio::co_spawn(context, Convert(pool, blocked, refused), asio::detached);
    while (!refused) {
        context.run_one();
    }
    EXPECT_FALSE(refused->has_value());
    release.set_value();
    context.run();
    for (const Result& result : waiting) {
        ASSERT_TRUE(result && result->has_value());
    }
}

}  // namespace
}  // namespace tessaly::wap
