#pragma once

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace tessaly::wap {

// The address of the document a URL shows: without its fragment (the card),
// fully encoded, in the one form every part of the program compares.
std::string DocumentAddress(std::string_view url);

// The documents the program rendered from WML decks, by DocumentAddress.
// Inside one of them a fragment change is a card change, which counts as a
// page shown. Filled from whatever thread converts a deck, read on the
// user-interface thread. Any URL of the document will do, card or none.
class RenderedDecks {
public:
    void Add(std::string_view url);
    bool Contains(std::string_view url) const;

private:
    // A long session can render many decks; the oldest ones are forgotten
    // first, and a forgotten deck's card changes simply earn nothing.
    static constexpr std::size_t MaxRemembered = 4096;

    mutable std::mutex mutex_;
    std::set<std::string> urls_;
    std::deque<std::string> order_;
};

}  // namespace tessaly::wap
