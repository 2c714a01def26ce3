#pragma once

#include <atomic>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>

#include "gateway_io.h"
#include "wml_conversion.h"

namespace tessaly::wap {

// Threads that convert WAP content (decks, binary decks, pictures) for the
// gateway, so that the thread moving bytes never waits for one: a large or
// malformed deck delays only itself.
class ConversionPool {
public:
    using Job = std::function<std::optional<ConvertedPage>()>;

    static constexpr std::size_t Threads = 2;
    // Conversions waiting or under way at most; more are refused at once.
    static constexpr std::size_t MostPending = 32;
    // How long a page waits for its conversion before it is answered as
    // unreadable; the conversion itself then ends unheard.
    static constexpr std::chrono::milliseconds Timeout{10'000};

    explicit ConversionPool(std::chrono::milliseconds timeout = Timeout);
    ~ConversionPool();
    ConversionPool(const ConversionPool&) = delete;
    ConversionPool& operator=(const ConversionPool&) = delete;

    // Runs `job` on the pool and resumes the caller on its own executor with
    // the result; nothing when the job failed (or threw), took longer than
    // the timeout, or the pool was full.
    awaitable<std::optional<ConvertedPage>> Run(Job job);

    // Waits for the conversions under way and stops the threads.
    void Stop();

private:
    boost::asio::thread_pool threads_{Threads};
    std::chrono::milliseconds timeout_;
    std::shared_ptr<std::atomic<std::size_t>> pending_ =
        std::make_shared<std::atomic<std::size_t>>(0);
};

}  // namespace tessaly::wap
