#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::wap {

// A page made from a WAP document, ready to hand to the browser engine.
struct ConvertedPage {
    std::string contentType;  // e.g. "text/html; charset=utf-8"
    std::string body;
    // Response headers the page needs besides its type (a Content-Security-Policy, ...).
    std::vector<std::pair<std::string, std::string>> headers;
};

// Turns a WML deck into an HTML page. body is the deck as it arrived, url the
// address it came from (its fragment names the card to show), charset the
// one the HTTP header named (empty when none). Safe to call from any thread;
// never throws: a deck that cannot be read becomes a page that says so.
ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view charset);

}  // namespace tessaly::wap
