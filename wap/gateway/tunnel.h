#pragma once

#include <chrono>
#include <cstdint>

#include "gateway_io.h"

namespace tessaly::wap {

class TunnelFailures;

// Answers a CONNECT: opens a connection to `target` and passes bytes both
// ways until either side ends or the tunnel stays idle for `idle`. What the
// client sent after its request (in `clientBuffer`) goes first. Why a tunnel
// could not be opened is recorded in `failures`.
awaitable<void> Tunnel(beast::tcp_stream client, beast::flat_buffer clientBuffer,
                       ProxyTarget target, std::uint16_t ownPort,
                       std::chrono::milliseconds connectTimeout, std::chrono::milliseconds idle,
                       TunnelFailures& failures);

}  // namespace tessaly::wap
