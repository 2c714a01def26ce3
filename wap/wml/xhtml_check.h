#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// Where an XHTML document stops being well-formed XML (1-based).
struct XmlProblem {
    long long line = 0;
    long long column = 0;
};

// Whether an XHTML document is well-formed XML: nothing when it is, else
// where it is not. `charset` is the one named for it outside the document
// (the Content-Type's, or the user's choice); empty lets the document's own
// byte-order mark or XML declaration decide, as an XML parser would.
// Linear in the document's size; safe on any bytes and from any thread.
std::optional<XmlProblem> XhtmlProblem(std::string_view body, std::string_view charset);

// The charset an XHTML document is read in when shown as HTML: `charset`
// when given, else its XML declaration's (which an HTML parser does not
// read); empty when neither names one.
std::string XhtmlCharset(std::string_view body, std::string_view charset);

// The document's text in UTF-8, read in `charset` (or as XhtmlCharset would
// find it, UTF-8 when nothing names one); bytes that do not decode become
// U+FFFD.
std::string XhtmlText(std::string_view body, std::string_view charset);

}  // namespace tessaly::wap
