#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "gateway_io.h"

namespace tessaly::wap {

// A pipe for moving bytes between two sockets inside the kernel.
class KernelPipe {
public:
    KernelPipe();
    ~KernelPipe();
    KernelPipe(const KernelPipe&) = delete;
    KernelPipe& operator=(const KernelPipe&) = delete;

    explicit operator bool() const { return read_ >= 0; }
    int ReadEnd() const { return read_; }
    int WriteEnd() const { return write_; }
    std::size_t Capacity() const { return capacity_; }

private:
    int read_ = -1;
    int write_ = -1;
    std::size_t capacity_ = 0;
};

// Moves `length` bytes from one socket to the other with splice(2), so a
// download never passes through the gateway's memory: two copies fewer per
// byte. Fails when either side stays silent for `idleTimeout`.
awaitable<beast::error_code> SpliceBody(Tcp::socket& from, Tcp::socket& to, std::uint64_t length,
                                        KernelPipe& pipe, std::chrono::milliseconds idleTimeout);

}  // namespace tessaly::wap
