#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tessaly::wap {

// The address of the document a URL shows: without its fragment (the card),
// fully encoded, in the one form every part of the program compares.
std::string DocumentAddress(std::string_view url);

// What the program knows of a document it converted or checked (a deck, a
// binary deck, an XHTML page shown as HTML or relabelled), for the page's
// details and its source.
struct DocumentDetails {
    // The Content-Type as the site sent it (for a local file, the type its
    // name gives).
    std::string contentType;
    // The charset the document was read in, e.g. "UTF-8", "GB18030"; empty
    // when none was named or found.
    std::string charset;
    // The document's size in bytes as it came (before any inflating).
    std::size_t bytes = 0;
    // How many cards a deck has; 0 for anything else.
    int cards = 0;
    // The document's text as the site sent it, in UTF-8 (a binary deck as
    // its WML text); empty when not kept or already forgotten.
    std::string source;
};

// The documents the program rendered from WML decks, by DocumentAddress.
// Inside one of them a fragment change is a card change, which counts as a
// page shown. Filled from whatever thread converts a deck, read on the
// user-interface thread. Any URL of the document will do, card or none.
class RenderedDecks {
public:
    void Add(std::string_view url);
    bool Contains(std::string_view url) const;

    // Records the details of the document at `url` (any URL of it), in place
    // of earlier ones. Any thread: the gateway's conversions, the pane's own
    // for decks past the gateway, the start page. A source over
    // MaxSourceBytes is not kept.
    void RecordDetails(std::string_view url, DocumentDetails details);
    // The details recorded for the document at `url` (a card's URL will do).
    std::optional<DocumentDetails> Details(std::string_view url) const;

    // Details of at most this many documents are kept, the sources of the
    // most recent MaxSources of them, each at most MaxSourceBytes.
    static constexpr std::size_t MaxDetails = 512;
    static constexpr std::size_t MaxSources = 32;
    static constexpr std::size_t MaxSourceBytes = 2 * 1024 * 1024;

private:
    // A long session can render many decks; the oldest ones are forgotten
    // first, and a forgotten deck's card changes simply earn nothing.
    static constexpr std::size_t MaxRemembered = 4096;

    mutable std::mutex mutex_;
    std::set<std::string> urls_;
    std::deque<std::string> order_;
    std::map<std::string, DocumentDetails> details_;
    std::deque<std::string> detailsOrder_;  // oldest first
    std::deque<std::string> sourcesOrder_;  // oldest first, those with a source
};

}  // namespace tessaly::wap
