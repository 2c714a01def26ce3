#pragma once

#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaly::wap {

// Longest header field name or value a message may carry. Beast keeps each
// field's length in 16 bits and throws for a longer one, from inside the read
// on the gateway's thread; a parser that refuses it with an error instead
// lets the gateway close that one connection and go on.
inline constexpr std::size_t MaxFieldBytes = 65'000;
// A whole header may be as large as the engine itself accepts (many cookies
// make tens of KB), and no larger.
inline constexpr std::uint32_t MaxHeaderBytes = 256 * 1024;

// Beast's parser, refusing over-long header and trailer fields with
// http::error::header_limit instead of throwing.
template <bool isRequest, class Body>
class BoundedParser : public boost::beast::http::parser<isRequest, Body> {
    using Base = boost::beast::http::parser<isRequest, Body>;

public:
    BoundedParser() = default;
    // Takes over a parser that has read the header, to read the body another way.
    template <class OtherBody>
    explicit BoundedParser(boost::beast::http::parser<isRequest, OtherBody>&& other)
        : Base(std::move(other)) {}

private:
    void on_field_impl(boost::beast::http::field name, std::string_view nameText,
                       std::string_view value, boost::beast::error_code& error) override {
        if (nameText.size() > MaxFieldBytes || value.size() > MaxFieldBytes) {
            error = boost::beast::http::error::header_limit;
            return;
        }
        this->get().insert(name, nameText, value);
    }
};

}  // namespace tessaly::wap
