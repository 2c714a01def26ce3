// What the gateway learns and shows of what sites send, without a network:
// XHTML that is not well-formed, the charset the user chose, the details of
// converted documents and of game descriptors, and the pages for sites that
// cannot be reached.

#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <string>

#include "binary_deck.h"
#include "content_conversion.h"
#include "jad_details.h"
#include "note_pages.h"
#include "rendered_decks.h"
#include "site_failures.h"
#include "user_charset.h"
#include "wap_content.h"
#include "xhtml_check.h"

namespace tessaly::wap {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// "中文" in GBK: not UTF-8, so a page read as UTF-8 would not be well-formed
// text, and a deck read as UTF-8 would show U+FFFD.
const std::string GbkChinese = "\xD6\xD0\xCE\xC4";

TEST(XhtmlPages, OnlyWellFormedOnesStayXml) {
    const struct {
        const char* what;
        std::string body;
        std::string charset;
        bool wellFormed;
    } cases[] = {
        {"plain", "<html><body><p>a</p></body></html>", "", true},
        {"a stray &", "<html><body><p>a & b</p></body></html>", "", false},
        {"an unclosed tag", "<html><body><p>a<br></p></body></html>", "", false},
        {"two roots", "<html></html><p/>", "", false},
        {"the engine knows &nbsp; from the XHTML-MP DTD",
         "<!DOCTYPE html PUBLIC \"-//WAPFORUM//DTD XHTML Mobile 1.0//EN\" "
         "\"http://www.wapforum.org/DTD/xhtml-mobile10.dtd\"><html><body>&nbsp;</body></html>",
         "", true},
        {"GBK named by the header", "<html><body>" + GbkChinese + "</body></html>", "gb2312", true},
        {"GBK named by the declaration",
         "<?xml version=\"1.0\" encoding=\"gbk\"?><html><body>" + GbkChinese + "</body></html>", "",
         true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!XhtmlProblem(c.body, c.charset).has_value(), c.wellFormed) << c.what;
    }
    const auto problem = XhtmlProblem("<html>\n<p>a & b</p></html>", "");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->line, 2);
}

TEST(XhtmlPages, OneNotWellFormedIsShownAsHtmlInItsCharsetWithANote) {
    RenderedDecks decks;
    WapBody content;
    content.kind = ContentKind::XhtmlMobile;
    content.url = "http://wap.example/news.xhtml";
    content.contentType = "application/vnd.wap.xhtml+xml";
    content.body = "<?xml version=\"1.0\" encoding=\"gb2312\"?><html><body><p>" + GbkChinese +
                   " & more</p></body></html>";
    const auto page = ConvertWapBody(content, decks);
    ASSERT_TRUE(page.has_value());
    // The HTML parser does not read the XML declaration: its charset goes in the type.
    EXPECT_EQ(page->contentType, "text/html; charset=gb2312");
    EXPECT_TRUE(page->body.starts_with(content.body));
    EXPECT_TRUE(Has(page->body, "font-size:small"));
    // The note is ASCII: right in any charset the page is in.
    for (const char c : page->body.substr(content.body.size())) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
    }
    const auto details = decks.Details(content.url);
    ASSERT_TRUE(details.has_value());
    EXPECT_EQ(details->contentType, "application/vnd.wap.xhtml+xml");
    EXPECT_EQ(details->charset, "GB18030");
    EXPECT_EQ(details->bytes, content.body.size());
    EXPECT_TRUE(Has(details->source, "中文 & more"));
    EXPECT_FALSE(decks.Contains(content.url));  // no deck: its fragments are no cards

    // Well-formed: relabelled, and in the user's charset when it names none.
    content.body = "<html><body><p>" + GbkChinese + "</p></body></html>";
    content.userCharset = "GBK";
    const auto fine = ConvertWapBody(content, decks);
    EXPECT_EQ(fine.value().contentType, "application/xhtml+xml; charset=GBK");
    EXPECT_EQ(fine.value().body, content.body);
    // A page that declares its own charset keeps it.
    content.body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><html/>";
    EXPECT_EQ(ConvertWapBody(content, decks).value().contentType, "application/xhtml+xml");
    EXPECT_EQ(decks.Details(content.url).value().charset, "UTF-8");
    content.contentType = "application/vnd.wap.xhtml+xml; charset=utf-8";
    content.charset = "utf-8";
    content.body = "<html><p>a & b</p></html>";
    EXPECT_EQ(ConvertWapBody(content, decks).value().contentType, "text/html; charset=utf-8");
}

TEST(UserCharsets, OnlyTheOffersCountAndOnlyWhereNothingIsNamed) {
    EXPECT_EQ(UserCharsetNamed(" gbk "), "GBK");
    EXPECT_EQ(UserCharsetNamed("koi8-r"), "KOI8-R");
    EXPECT_EQ(UserCharsetNamed("UTF-7"), "");
    EXPECT_EQ(UserCharsetNamed("GBK\r\nX-Evil: 1"), "");
    EXPECT_EQ(WithCharset("text/html", "GBK"), "text/html; charset=GBK");
    EXPECT_EQ(WithCharset("text/html;", "GBK"), "text/html; charset=GBK");
    EXPECT_EQ(WithCharset("application/vnd.wap.xhtml+xml", "Big5"),
              "application/vnd.wap.xhtml+xml; charset=Big5");
    EXPECT_EQ(WithCharset("text/html; charset=utf-8", "GBK"), "text/html; charset=utf-8");
    EXPECT_EQ(WithCharset("image/png", "GBK"), "image/png");
    EXPECT_EQ(WithCharset("text/plain", ""), "text/plain");

    // A deck that names nothing is read in the user's charset; one that
    // names its own keeps it.
    RenderedDecks decks;
    WapBody deck;
    deck.kind = ContentKind::Wml;
    deck.url = "http://wap.example/a.wml";
    deck.contentType = "text/vnd.wap.wml";
    deck.userCharset = "GBK";
    deck.body = "<wml><card id=\"a\"><p>" + GbkChinese + "</p></card><card id=\"b\"/></wml>";
    EXPECT_TRUE(Has(ConvertWapBody(deck, decks).value().body, "中文"));
    auto details = decks.Details(deck.url + "#b");
    ASSERT_TRUE(details.has_value());
    EXPECT_EQ(details->charset, "GB18030");
    EXPECT_EQ(details->cards, 2);
    EXPECT_EQ(details->contentType, "text/vnd.wap.wml");
    EXPECT_EQ(details->bytes, deck.body.size());
    EXPECT_TRUE(Has(details->source, "<p>中文</p>"));
    deck.body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + deck.body;
    EXPECT_FALSE(Has(ConvertWapBody(deck, decks).value().body, "中文"));
    EXPECT_EQ(decks.Details(deck.url).value().charset, "UTF-8");
}

// A binary deck's text in the charset its header names (by MIBenum), or in
// the fallback when it names none (0).
TEST(UserCharsets, BinaryDecksAreReadInTheirOwnCharsetElseTheFallback) {
    const auto deck = [](const std::string& mib, const std::string& text) {
        // WBXML 1.3, WML 1.3, the charset, no string table; <wml><card><p>text</p></card></wml>.
        return std::string("\x03\x04", 2) + mib + std::string("\x00\x7F\x67\x60\x03", 5) + text +
               std::string("\x00\x01\x01\x01", 4);
    };
    const struct {
        std::string wbxml;
        const char* fallback;
        bool readable;
    } cases[] = {
        {deck("\x6A", "中文"), "", true},          // UTF-8
        {deck("\x6A", "中文"), "GBK", true},       // its own charset wins
        {deck("\x8F\x69", GbkChinese), "", true},  // GB2312, which the library cannot read
        {deck("\x71", GbkChinese), "Big5", true},  // GBK
        {deck(std::string(1, '\0'), GbkChinese), "GBK", true},  // unknown: the fallback
        {deck(std::string(1, '\0'), GbkChinese), "", false},    // unknown, no fallback: UTF-8
    };
    for (const auto& c : cases) {
        const auto wml = DecodeWmlc(c.wbxml, c.fallback);
        ASSERT_TRUE(wml.has_value());
        EXPECT_EQ(Has(*wml, "<p>中文</p>"), c.readable) << *wml;
    }
}

TEST(DocumentDetailsRecord, KeepsRecentSourcesWithinItsBounds) {
    RenderedDecks decks;
    const auto url = [](std::size_t i) { return "http://wap.example/" + std::to_string(i); };
    for (std::size_t i = 0; i <= RenderedDecks::MaxSources; ++i) {
        decks.RecordDetails(url(i), DocumentDetails{"text/vnd.wap.wml", "UTF-8", 10, 1, "deck"});
    }
    // The oldest source is forgotten, its details are not.
    EXPECT_EQ(decks.Details(url(0)).value().source, "");
    EXPECT_EQ(decks.Details(url(0)).value().bytes, 10u);
    EXPECT_EQ(decks.Details(url(1)).value().source, "deck");
    // Recording again makes it the newest, in place of the old details.
    decks.RecordDetails(url(1), DocumentDetails{"text/html", "", 5, 0, "new"});
    EXPECT_EQ(decks.Details(url(1)).value().contentType, "text/html");
    decks.RecordDetails(url(99), DocumentDetails{"x", "", 1, 0, "y"});
    EXPECT_EQ(decks.Details(url(1)).value().source, "new");
    EXPECT_EQ(decks.Details(url(2)).value().source, "");
    // A source over the bound is not kept.
    decks.RecordDetails(
        url(7),
        DocumentDetails{"x", "", 1, 0, std::string(RenderedDecks::MaxSourceBytes + 1, 'x')});
    EXPECT_EQ(decks.Details(url(7)).value().source, "");
    for (std::size_t i = 100; i < 100 + RenderedDecks::MaxDetails; ++i) {
        decks.RecordDetails(url(i), DocumentDetails{"x", "", 1, 0, ""});
    }
    EXPECT_FALSE(decks.Details(url(0)).has_value());
    EXPECT_TRUE(decks.Details(url(100)).has_value());
    EXPECT_FALSE(decks.Details("http://wap.example/none").has_value());
}

TEST(GameDescriptors, AreReadAsPhonesReadThem) {
    const std::string jad =
        "\xEF\xBB\xBFMIDlet-Name: \t Snake <b>\r\n"
        "midlet-vendor: lower case is another name\r\n"
        "MIDlet-Vendor:Vendor\n"
        "MIDlet-Vendor: second\r"
        "MIDlet-Version: 1.0.2   \r\n"
        "MIDlet-Description: a\x01"
        "b\xFF"
        "c\r\n"
        "MIDlet-Jar-URL: ../jars/snake.jar?x=1#f\r\n"
        "MIDlet-Jar-Size: 12345\r\n"
        "MIDlet-1: Snake, /icon.png, Snake\r\n";
    const JadDetails details = ParseJadDetails(jad, "http://wap.example/games/list/snake.jad");
    EXPECT_EQ(details.name, "Snake <b>");  // raw: the window that shows it escapes it
    EXPECT_EQ(details.vendor, "Vendor");
    EXPECT_EQ(details.version, "1.0.2");
    EXPECT_EQ(details.description,
              "a b\xEF\xBF\xBD"
              "c");
    EXPECT_EQ(details.jarUrl, "../jars/snake.jar?x=1#f");
    EXPECT_EQ(details.resolvedJarUrl, "http://wap.example/games/jars/snake.jar?x=1#f");
    EXPECT_EQ(details.jarSize, 12345);

    const struct {
        std::string size;
        std::optional<std::int64_t> read;
    } sizes[] = {{"0", 0},    {"+5", {}}, {"-1", {}},
                 {"12a", {}}, {"", {}},   {"99999999999999999999", {}}};
    for (const auto& c : sizes) {
        EXPECT_EQ(ParseJadDetails("MIDlet-Jar-Size: " + c.size, "http://a/b.jad").jarSize, c.read)
            << c.size;
    }
    for (const char* refused : {"javascript:alert(1)", "file:///etc/passwd", "http://"}) {
        EXPECT_EQ(ParseJadDetails(std::string("MIDlet-Jar-URL: ") + refused, "http://a/b.jad")
                      .resolvedJarUrl,
                  "")
            << refused;
    }

    // Bounded: a value is cut at a character, lines past the bound are not read.
    const std::string longName =
        ParseJadDetails("MIDlet-Name: " + std::string(300, 'x') + "中文", "http://a/b.jad").name;
    EXPECT_EQ(longName, std::string(MaxJadValueChars, 'x'));
    const std::string cut =
        ParseJadDetails("MIDlet-Name: " + std::string(255, 'x') + "中文", "http://a/b.jad").name;
    EXPECT_EQ(cut, std::string(255, 'x') + "中");
    std::string manyLines;
    for (std::size_t i = 0; i < MaxJadLines; ++i) {
        manyLines += "X: y\n";
    }
    EXPECT_EQ(ParseJadDetails(manyLines + "MIDlet-Name: late\n", "http://a/b.jad").name, "");
}

TEST(GameDescriptors, AreFoundByTheirAddressAndTheirArchivesWithinABound) {
    JadRegistry registry;
    const JadDetails details = ParseJadDetails("MIDlet-Name: Snake\nMIDlet-Jar-URL: snake.jar\n",
                                               "http://wap.example/g/s.jad");
    registry.Record("http://wap.example/g/s.jad", details);
    EXPECT_EQ(registry.Find("http://wap.example/g/s.jad#x").value().name, "Snake");
    EXPECT_EQ(registry.Find("http://wap.example/g/snake.jar").value().name, "Snake");
    EXPECT_FALSE(registry.Find("http://wap.example/g/other.jar").has_value());
    for (std::size_t i = 0; i < JadRegistry::MaxRemembered; ++i) {
        registry.Record("http://wap.example/" + std::to_string(i) + ".jad", JadDetails{});
    }
    EXPECT_FALSE(registry.Find("http://wap.example/g/s.jad").has_value());
    EXPECT_TRUE(registry.Find("http://wap.example/255.jad").has_value());
}

TEST(UnreachableSites, EachFailureHasItsOwnPage) {
    namespace error = boost::asio::error;
    const struct {
        boost::system::error_code error;
        UnreachableKind kind;
        const char* says;
    } cases[] = {
        {error::host_not_found, UnreachableKind::UnknownHost, "找不到这个网站"},
        {error::host_not_found_try_again, UnreachableKind::UnknownHost, "找不到这个网站"},
        {error::connection_refused, UnreachableKind::Refused, "拒绝了连接"},
        {beast::error::timeout, UnreachableKind::TimedOut, "超时"},
        {error::connection_reset, UnreachableKind::Reset, "中断了连接"},
        {http::error::end_of_stream, UnreachableKind::Reset, "中断了连接"},
        {error::network_unreachable, UnreachableKind::Other, "无法打开此网站"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnreachableKindOf(c.error), c.kind) << c.error.message();
        const std::string page = UnreachablePage(c.kind, "http://wap.example/<b>?a=1&b=2");
        EXPECT_TRUE(Has(page, c.says)) << c.says;
        EXPECT_TRUE(Has(page, "http://wap.example/&lt;b&gt;?a=1&amp;b=2"));
        EXPECT_FALSE(Has(page, "<b>"));
    }
    EXPECT_EQ(UnreachableStatus(UnreachableKind::TimedOut), http::status::gateway_timeout);
    EXPECT_EQ(UnreachableStatus(UnreachableKind::Refused), http::status::bad_gateway);

    TunnelFailures tunnels;
    tunnels.Record("WAP.example", "443", UnreachableKind::Refused);
    EXPECT_EQ(tunnels.Last("wap.example", "443"), UnreachableKind::Refused);
    EXPECT_EQ(tunnels.Last("wap.example", "8443"), UnreachableKind::None);
    tunnels.Record("wap.example", "443", UnreachableKind::None);  // it opened since
    EXPECT_EQ(tunnels.Last("wap.example", "443"), UnreachableKind::None);
    for (std::size_t i = 0; i <= TunnelFailures::MaxRemembered; ++i) {
        tunnels.Record("h" + std::to_string(i), "443", UnreachableKind::TimedOut);
    }
    EXPECT_EQ(tunnels.Last("h0", "443"), UnreachableKind::None);
    EXPECT_EQ(tunnels.Last("h1", "443"), UnreachableKind::TimedOut);
}

}  // namespace
}  // namespace tessaly::wap
