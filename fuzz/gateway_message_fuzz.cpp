// The gateway's reading of HTTP messages on any bytes: a request from any
// local process (before its credential is checked) and an answer from any
// site go through the same parsers.
//
// Invariants: the parsers never throw (an exception there would have ended
// the gateway's thread), a header is never read past its bound, and no
// field is longer than the parser's own limit allows.

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstdint>
#include <string_view>

#include "bounded_parser.h"
#include "fuzz_folder.h"

using tessaly::fuzz::Broken;

namespace {

template <bool isRequest>
void Parse(std::string_view bytes) {
    namespace http = boost::beast::http;
    tessaly::wap::BoundedParser<isRequest, http::string_body> parser;
    parser.header_limit(tessaly::wap::MaxHeaderBytes);
    parser.body_limit(1024 * 1024);
    parser.eager(true);
    boost::beast::error_code error;
    try {
        // Bytes arrive in two pieces, as they may from a socket.
        const std::size_t half = bytes.size() / 2;
        std::size_t used = parser.put(boost::asio::buffer(bytes.data(), half), error);
        if (error == http::error::need_more) {
            error = {};
            used = 0;
        }
        if (!error) {
            const std::string_view rest = bytes.substr(used);
            parser.put(boost::asio::buffer(rest.data(), rest.size()), error);
        }
    } catch (...) {
        Broken("a parser threw");
    }
    if (parser.is_header_done()) {
        for (const auto& field : parser.get()) {
            if (field.name_string().size() > tessaly::wap::MaxFieldBytes ||
                field.value().size() > tessaly::wap::MaxFieldBytes) {
                Broken("a field past its bound");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Parse<true>(bytes);
    Parse<false>(bytes);
    return 0;
}
