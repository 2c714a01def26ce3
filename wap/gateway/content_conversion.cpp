#include "content_conversion.h"

#include "binary_deck.h"
#include "deck_access.h"
#include "deck_charset.h"
#include "note_pages.h"
#include "rendered_decks.h"
#include "script_units.h"
#include "xhtml_check.h"

namespace tessaly::wap {

ConvertedPage NotePageOf(std::string html) {
    return ConvertedPage{"text/html; charset=utf-8", std::move(html), {}};
}

namespace {

// An XHTML page as the engine gets it, checked on the pool: the engine's XML
// parser shows nothing but its error for a page that is not well-formed,
// where the phones it was written for showed the page.
ConvertedPage CheckedXhtml(WapBody content, RenderedDecks& decks) {
    // The user's choice counts only for a page that names no charset of its
    // own, in its type or its XML declaration. The one named outside the
    // document wins over its declaration, as in the engine.
    const std::string declared = XhtmlCharset(content.body, {});
    const std::string user = content.charset.empty() && declared.empty() ? content.userCharset : "";
    const std::string named = content.charset.empty() ? user : content.charset;
    const std::string charset = named.empty() ? declared : named;
    DocumentDetails details;
    details.contentType = content.contentType;
    details.charset = CanonicalCharset(QString::fromStdString(charset)).toStdString();
    details.bytes = content.bytes ? content.bytes : content.body.size();
    details.source = XhtmlText(content.body, named);

    ConvertedPage page;
    const auto problem = XhtmlProblem(content.body, named);
    if (!problem) {
        page.contentType = content.kind == ContentKind::XhtmlMobile
                               ? RelabelXhtmlMobile(content.contentType)
                               : content.contentType;
        page.contentType = WithCharset(page.contentType, user);
        page.body = std::move(content.body);
    } else {
        // Shown as HTML in the charset it was written in: the HTML parser
        // does not read an XML declaration, so its charset goes in the type.
        page.contentType = charset.empty() ? "text/html" : "text/html; charset=" + charset;
        page.body = std::move(content.body);
        const bool wide = details.charset.starts_with("UTF-16") ||
                          details.charset.starts_with("utf-16") ||
                          page.body.starts_with("\xFF\xFE") || page.body.starts_with("\xFE\xFF");
        if (!wide) {
            // After the page's end, the HTML parser puts it at the end of the body.
            page.body += MalformedPageNote(problem->line, problem->column);
        }
    }
    decks.RecordDetails(content.url, std::move(details));
    return page;
}

}  // namespace

std::optional<ConvertedPage> ConvertWapBody(WapBody content, RenderedDecks& decks) {
    if (content.kind == ContentKind::WmlScript) {
        // For a page's machine: the unit, compiled and verified, or why not
        // as text, which the page shows under its card.
        const ScriptUnit unit =
            PrepareScriptUnit(content.body, content.contentType, content.userCharset);
        ConvertedPage page;
        page.contentType = unit.ok ? WmlScriptUnitType : "text/plain; charset=utf-8";
        page.body = unit.ok ? unit.unit : unit.message;
        page.headers.emplace_back("X-Content-Type-Options", "nosniff");
        return page;
    }
    if (IsXhtml(content.kind)) {
        return CheckedXhtml(std::move(content), decks);
    }
    if (content.kind == ContentKind::Wbmp) {
        if (auto png = WbmpToPng(content.body)) {
            return ConvertedPage{"image/png", std::move(*png), {}};
        }
        return std::nullopt;
    }
    const std::size_t bytes = content.bytes ? content.bytes : content.body.size();
    std::optional<std::string> deck;
    std::string userCharset = content.userCharset;
    if (content.kind == ContentKind::Wmlc) {
        // A deck whose header names no charset is read in the HTTP header's,
        // else the user's.
        deck = DecodeWmlc(content.body,
                          content.charset.empty() ? content.userCharset : content.charset);
        content.charset = "utf-8";  // what the decoder writes
        userCharset.clear();
    } else {
        deck = std::move(content.body);
    }
    if (!deck) {
        DocumentDetails details;
        details.contentType = content.contentType;
        details.bytes = bytes;
        decks.RecordDetails(content.url, std::move(details));
        return NotePageOf(UnreadablePage(content.url));
    }
    ConvertedPage page = ConvertWmlDeck(*deck, content.url, content.charset,
                                        RuntimeDelivery::ByAddress, userCharset, content.scripts);
    if (page.restricted &&
        !AccessAllows(content.url, page.accessDomain, page.accessPath, content.referrer)) {
        return NotePageOf(AccessRefusedPage(content.url));
    }
    // Recorded once shown: a deck closed to this referrer shows nothing of itself.
    decks.RecordDetails(content.url, DeckDetails(*deck, content.contentType, bytes, page));
    if (page.body.size() > MaxPageBytes) {
        return NotePageOf(TooLargePage(content.url));
    }
    // A deck's links tell the next deck where they were, path included, as a
    // phone's did: that is what the next deck's <access> is checked against.
    page.headers.emplace_back("Referrer-Policy", "no-referrer-when-downgrade");
    decks.Add(content.url);
    return page;
}

}  // namespace tessaly::wap
