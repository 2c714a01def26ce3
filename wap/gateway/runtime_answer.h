#pragma once

#include <string>

#include "gateway_io.h"

namespace tessaly::wap {

// Answers a request for the WML runtime's address (WmlRuntimeAddress()) with
// the script, which the engine may keep for good: the address changes with
// it. A page converted by an earlier version asks for that version's
// address, and gets this one, not to be kept under the old address.
awaitable<void> ServeRuntime(beast::tcp_stream& client, http::verb method, const std::string& url,
                             bool keepAlive);

}  // namespace tessaly::wap
