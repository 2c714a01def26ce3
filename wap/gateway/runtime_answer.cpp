#include "runtime_answer.h"

#include "wml_conversion.h"

namespace tessaly::wap {

awaitable<void> ServeRuntime(beast::tcp_stream& client, http::verb method, const std::string& url,
                             bool keepAlive) {
    const std::string_view current = WmlRuntimeAddress();
    const std::string_view prefix = current.substr(0, current.rfind('-') + 1);
    const bool isCurrent = url == current;
    const bool isRuntime = url.starts_with(prefix) && url.ends_with(".js") &&
                           url.find_first_of("/?#", prefix.size()) == std::string::npos;
    if (!isRuntime || (method != http::verb::get && method != http::verb::head)) {
        co_await Answer(client, http::status::not_found, {}, {}, keepAlive);
        co_return;
    }
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
    co_await WriteAnswer(client, response);
}

}  // namespace tessaly::wap
