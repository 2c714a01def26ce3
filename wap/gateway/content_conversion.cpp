#include "content_conversion.h"

#include "binary_deck.h"
#include "deck_access.h"
#include "note_pages.h"
#include "rendered_decks.h"

namespace tessaly::wap {

ConvertedPage NotePageOf(std::string html) {
    return ConvertedPage{"text/html; charset=utf-8", std::move(html), {}};
}

std::optional<ConvertedPage> ConvertWapBody(WapBody content, RenderedDecks& decks) {
    if (content.kind == ContentKind::Wbmp) {
        if (auto png = WbmpToPng(content.body)) {
            return ConvertedPage{"image/png", std::move(*png), {}};
        }
        return std::nullopt;
    }
    std::optional<std::string> deck;
    if (content.kind == ContentKind::Wmlc) {
        deck = DecodeWmlc(content.body);
        content.charset = "utf-8";
    } else {
        deck = std::move(content.body);
    }
    if (!deck) {
        return NotePageOf(UnreadablePage(content.url));
    }
    ConvertedPage page =
        ConvertWmlDeck(*deck, content.url, content.charset, RuntimeDelivery::ByAddress);
    if (page.restricted &&
        !AccessAllows(content.url, page.accessDomain, page.accessPath, content.referrer)) {
        return NotePageOf(AccessRefusedPage(content.url));
    }
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
