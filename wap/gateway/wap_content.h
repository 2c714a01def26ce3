#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// What the gateway does with a response, decided by its Content-Type.
enum class ContentKind {
    PassThrough,     // streamed through untouched
    XhtmlMobile,     // read whole and checked; relabelled as application/xhtml+xml
    Xhtml,           // application/xhtml+xml: read whole and checked
    Wml,             // a deck: converted to a page
    Wmlc,            // a binary deck: decoded to WML, then converted
    Wbmp,            // a wireless bitmap: converted to PNG
    WmlScript,       // not run: replaced by a note page
    JavaDescriptor,  // a game's descriptor (.jad): read whole when small, passed on as it came
};

// The type without parameters, lower case: "Text/HTML; charset=x" -> "text/html".
std::string MediaType(std::string_view contentType);
// The charset parameter of a Content-Type, or empty.
std::string CharsetOf(std::string_view contentType);
ContentKind ClassifyContentType(std::string_view contentType);

// Kinds whose whole body the gateway reads before answering.
constexpr bool IsConverted(ContentKind kind) {
    return kind == ContentKind::Wml || kind == ContentKind::Wmlc || kind == ContentKind::Wbmp;
}

// Kinds read whole and checked to be well-formed XML: one that is not is
// shown as HTML with a note.
constexpr bool IsXhtml(ContentKind kind) {
    return kind == ContentKind::XhtmlMobile || kind == ContentKind::Xhtml;
}

// The same Content-Type with `charset` added as its charset parameter, when
// it has none and is a kind of text an engine reads in a charset (text/*,
// XHTML and other XML types); otherwise as it was.
std::string WithCharset(std::string_view contentType, std::string_view charset);

// Largest body of a converted kind the gateway reads; beyond it the user gets
// a page that says so.
inline constexpr std::size_t MaxConvertedBytes = 2 * 1024 * 1024;

// The same Content-Type with application/vnd.wap.xhtml+xml replaced by
// application/xhtml+xml, parameters kept.
std::string RelabelXhtmlMobile(std::string_view contentType);

// A gzip or deflate body inflated, capped at `limit` bytes of output;
// nothing when it is damaged or too large.
std::optional<std::string> Inflate(std::string_view body, std::size_t limit);

// A type 0 wireless bitmap as a PNG image; nothing when it is malformed.
std::optional<std::string> WbmpToPng(std::string_view wbmp);

}  // namespace tessaly::wap
