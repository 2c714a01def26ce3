// The gateway's pure pieces: content types, WAP formats and request targets.

#include <gtest/gtest.h>
#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>
#include <zlib.h>

#include <cstdlib>

#include "binary_deck.h"
#include "note_pages.h"
#include "proxy_target.h"
#include "rendered_decks.h"
#include "wap_content.h"

namespace tessaly::wap {
namespace {

// A deck encoded the way a WAP server would send it.
std::string EncodeWmlc(const std::string& xml) {
    WBXMLConvXML2WBXML* converter = nullptr;
    EXPECT_EQ(wbxml_conv_xml2wbxml_create(&converter), WBXML_OK);
    wbxml_conv_xml2wbxml_disable_public_id(converter);
    std::string input = xml;
    WB_UTINY* out = nullptr;
    WB_ULONG length = 0;
    const WBXMLError status =
        wbxml_conv_xml2wbxml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                                 static_cast<WB_ULONG>(input.size()), &out, &length);
    wbxml_conv_xml2wbxml_destroy(converter);
    EXPECT_EQ(status, WBXML_OK) << wbxml_errors_string(status);
    std::string encoded(reinterpret_cast<const char*>(out), length);
    std::free(out);
    return encoded;
}

std::string Gzipped(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

TEST(WapContentTypes, AreRecognisedWhateverTheirCaseAndParameters) {
    EXPECT_EQ(ClassifyContentType("text/vnd.wap.wml; charset=utf-8"), ContentKind::Wml);
    EXPECT_EQ(ClassifyContentType(" Text/VND.WAP.WML "), ContentKind::Wml);
    EXPECT_EQ(ClassifyContentType("application/vnd.wap.wmlc"), ContentKind::Wmlc);
    EXPECT_EQ(ClassifyContentType("application/vnd.wap.xhtml+xml;charset=gb2312"),
              ContentKind::XhtmlMobile);
    EXPECT_EQ(ClassifyContentType("image/vnd.wap.wbmp"), ContentKind::Wbmp);
    EXPECT_EQ(ClassifyContentType("text/vnd.wap.wmlscript"), ContentKind::WmlScript);
    EXPECT_EQ(ClassifyContentType("application/vnd.wap.wmlscriptc"), ContentKind::WmlScript);
    for (const char* other : {"text/html", "application/java-archive", "", "text/vnd.wap.wmlx"}) {
        EXPECT_EQ(ClassifyContentType(other), ContentKind::PassThrough) << other;
    }
    EXPECT_EQ(CharsetOf("text/vnd.wap.wml; level=1; Charset=\"GB2312\""), "GB2312");
    EXPECT_EQ(CharsetOf("text/vnd.wap.wml"), "");
    EXPECT_EQ(RelabelXhtmlMobile("application/vnd.wap.xhtml+xml; charset=utf-8"),
              "application/xhtml+xml; charset=utf-8");
}

TEST(WapFormats, ABinaryDeckDecodesToItsWml) {
    const std::string deck =
        "<?xml version=\"1.0\"?><!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">"
        "<wml><card id=\"main\" title=\"Hello\"><p>Binary deck text</p></card></wml>";
    const auto decoded = DecodeWmlc(EncodeWmlc(deck));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_NE(decoded->find("Binary deck text"), std::string::npos) << *decoded;
    EXPECT_NE(decoded->find("title=\"Hello\""), std::string::npos) << *decoded;

    EXPECT_FALSE(DecodeWmlc("").has_value());
    EXPECT_FALSE(DecodeWmlc("\x03\x04 not wbxml at all").has_value());

    // A deck on which the decoding library fails an assertion and stops its
    // process: only this deck is lost, and the next one decodes.
    const std::string aborting(
        "\x03\x04\x6a\x00\x7f\xe7\x55\x03\x68\x60\x6f\xd8\x65\x00\x36\x03\xe9\xa6\x96\xe9\xa1\xb5"
        "\x00\x01"
        "\xe0\x07\x01\x64\x03\xe6\xac\xa2\xe8\xbf\x8e\xe5\x85\x89\xe4\xb8\xb4\x00\x01\x03\xe7\x9c"
        "\xac\xe7"
        "\xab\x99\x00\x01\xdf\x1d\x01\xdc\x4a\x03\xff\xef\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"
        "\xff\xff"
        "\xbc\xa0\x00\x01\x03\xe7\xac\xac\xe4\xba\x8c\xe5\xbc\xa0\xe5\x8d\xa1\xe7\x89\x87\x00\x01"
        "\x01\x01"
        "\xe7\x55\x12\x02\xfa\xff\xff\xff\x00\x00\x00\x00\x00\x00\x32\x03\xe7\xac\xac\xe4\xba\x8c"
        "\x6c\xe5"
        "\x8e\xbb\x00\x32\x01\x01\x2a\x2a\x2a\x2a\x2a\x2a\x01\x01",
        134);
    EXPECT_FALSE(DecodeWmlc(aborting).has_value());
    EXPECT_TRUE(DecodeWmlc(EncodeWmlc(deck)).has_value());

    // A small deck that names one long text many times over (its string
    // table) is refused by what it decodes to, not by its own size.
    std::string named =
        "<?xml version=\"1.0\"?><!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
        "\"http://www.wapforum.org/DTD/wml_1.1.xml\"><wml><card>";
    const std::string longText(60'000, 'A');
    for (int i = 0; i < 40; ++i) {
        named += "<p>" + longText + "</p>";
    }
    named += "</card></wml>";
    const std::string amplifying = EncodeWmlc(named);
    ASSERT_LT(amplifying.size(), 200'000u);
    EXPECT_FALSE(DecodeWmlc(amplifying).has_value());
}

TEST(WapFormats, AWirelessBitmapBecomesAPngOfTheSameSize) {
    // 10 x 2 pixels: two bytes a row, the first row white, the second black.
    const std::string wbmp("\x00\x00\x0a\x02\xff\xc0\x00\x00", 8);
    const auto png = WbmpToPng(wbmp);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png->substr(12, 4), "IHDR");
    EXPECT_EQ(png->substr(16, 8), std::string("\0\0\0\x0a\0\0\0\x02", 8));
    EXPECT_EQ(png->substr(png->size() - 8, 4), "IEND");

    EXPECT_FALSE(WbmpToPng(std::string("\x00\x00\x0a\x02\xff", 5)).has_value());  // short
    EXPECT_FALSE(WbmpToPng(std::string("\x01\x00\x01\x01\x00", 5)).has_value());  // type 1
    EXPECT_FALSE(WbmpToPng(std::string("\x00\x00\xff\xff\xff\xff\x7f\x01", 8)).has_value());
}

TEST(WapFormats, CompressedBodiesInflateWithinTheirLimit) {
    const std::string text(10000, 'w');
    EXPECT_EQ(Inflate(Gzipped(text), 20000).value_or(""), text);
    EXPECT_FALSE(Inflate(Gzipped(text), 5000).has_value());
    EXPECT_FALSE(Inflate(Gzipped(text).substr(0, 20), 20000).has_value());
}

TEST(WapPages, TheScriptNoteLinksBackOnlyToWebAddresses) {
    const std::string note = WmlScriptNotePage("http://wap.example/a?b=1&c=\"2\"");
    EXPECT_NE(note.find("WMLScript"), std::string::npos);
    EXPECT_NE(note.find("href=\"http://wap.example/a?b=1&amp;c=&quot;2&quot;\""),
              std::string::npos);
    const std::string unsafe = WmlScriptNotePage("javascript:alert(1)");
    EXPECT_EQ(unsafe.find("alert"), std::string::npos);
    EXPECT_EQ(TooLargePage("http://x/<b>").find("<b>"), std::string::npos);
}

TEST(ProxyTargets, AbsoluteFormGivesHostPortAndPath) {
    auto target = ParseAbsoluteTarget("http://wap.example.com:8080/a/b?c=d");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "wap.example.com");
    EXPECT_EQ(target->port, "8080");
    EXPECT_EQ(target->path, "/a/b?c=d");

    target = ParseAbsoluteTarget("HTTP://127.0.0.1");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->port, "80");
    EXPECT_EQ(target->path, "/");

    target = ParseAbsoluteTarget("http://[::1]:81?q");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "::1");
    EXPECT_EQ(target->path, "/?q");

    for (const char* bad : {"/relative", "https://x/", "http://", "http://x:0/", "http://x:99999/",
                            "http://user@x/", "http://x y/", "ftp://x/", "http://[::1/"}) {
        EXPECT_FALSE(ParseAbsoluteTarget(bad)) << bad;
    }
}

TEST(ProxyTargets, ConnectNeedsHostAndPort) {
    auto target = ParseConnectTarget("secure.example:443");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "secure.example");
    EXPECT_EQ(target->port, "443");
    EXPECT_TRUE(ParseConnectTarget("[::1]:8443"));
    for (const char* bad : {"secure.example", "[::1]", ":443", "http://x:443", ""}) {
        EXPECT_FALSE(ParseConnectTarget(bad)) << bad;
    }
}

TEST(RenderedDecks, AnyCardOfARenderedDeckFindsIt) {
    RenderedDecks decks;
    decks.Add("http://wap.example/deck.wml?id=1#card2");
    EXPECT_TRUE(decks.Contains("http://wap.example/deck.wml?id=1"));
    EXPECT_TRUE(decks.Contains("http://wap.example/deck.wml?id=1#other"));
    EXPECT_FALSE(decks.Contains("http://wap.example/deck.wml?id=2"));
    EXPECT_EQ(DocumentAddress("http://wap.example/deck.wml#card2"), "http://wap.example/deck.wml");
}

}  // namespace
}  // namespace tessaly::wap
