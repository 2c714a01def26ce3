#pragma once

#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace tessaly::wap {

// The addresses (without fragment) of the documents the program rendered
// from WML decks. Inside one of them a fragment change is a card change,
// which counts as a page shown. Filled from whatever thread converts a deck,
// read on the user-interface thread.
class RenderedDecks {
public:
    void Add(const std::string& documentUrl);
    bool Contains(const std::string& documentUrl) const;

private:
    // A long session can render many decks; the oldest ones are forgotten
    // first, and a forgotten deck's card changes simply earn nothing.
    static constexpr std::size_t MaxRemembered = 4096;

    mutable std::mutex mutex_;
    std::set<std::string> urls_;
    std::deque<std::string> order_;
};

}  // namespace tessaly::wap
