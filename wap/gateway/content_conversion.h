#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "wap_content.h"
#include "wml_conversion.h"

namespace tessaly::wap {

class RenderedDecks;

// Largest page the gateway hands the engine after conversion: a small deck
// can name long texts many times over, and the input bound alone does not
// bound what it becomes.
inline constexpr std::size_t MaxPageBytes = 8 * 1024 * 1024;

// A whole WAP body (a deck, a binary deck, a picture, an XHTML page) as it
// came (inflated, when it came compressed).
struct WapBody {
    ContentKind kind = ContentKind::PassThrough;
    std::string body;
    std::string charset;      // from the Content-Type, or empty
    std::string url;          // where it came from
    std::string referrer;     // the Referer the request carried, or empty
    std::string contentType;  // as the site sent it
    // The charset the user chose for the site (a name of UserCharsets), for
    // a document that names none itself; or empty.
    std::string userCharset;
    // Its size as it came, before any inflating; 0 for the body's own size.
    std::size_t bytes = 0;
    // For a deck whose page cannot fetch the scripts it calls: where to get
    // them, for the page to carry.
    ScriptFetcher scripts{};
};

// What the engine is shown for `content`: the page made from it, or a note
// page (unreadable, too large, or a deck its <access> closes to this
// referrer); nothing for a picture that cannot be read. An XHTML page that
// is well-formed goes on as it came (XHTML-MP relabelled); one that is not
// is shown as HTML, in the same charset, with a note. Decks shown are
// recorded in `decks`, with their details; so are the details of XHTML
// pages. Slow (it may start a process for a binary deck): never on the
// thread that moves bytes.
std::optional<ConvertedPage> ConvertWapBody(WapBody content, RenderedDecks& decks);

// A note page as a ConvertedPage.
ConvertedPage NotePageOf(std::string html);

}  // namespace tessaly::wap
