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
    // For a deck whose head has <access>: the domain and path it names
    // (empty when left to their defaults). See AccessAllows().
    bool restricted = false;
    std::string accessDomain{};
    std::string accessPath{};
};

// How a page made from a deck carries its runtime script.
enum class RuntimeDelivery {
    // Written into the page: for pages that do not come through the gateway
    // (the built-in site, decks over https, local files).
    InPage,
    // Loaded from WmlRuntimeAddress(), which the gateway answers itself. The
    // engine caches the script and its compiled code like any site's script,
    // so a deck does not pay for compiling the runtime again on every load.
    ByAddress,
};

// Turns a WML deck into an HTML page. body is the deck as it arrived, url the
// address it came from (its fragment names the card to show), charset the
// one the HTTP header named (empty when none). Safe to call from any thread;
// never throws: a deck that cannot be read becomes a page that says so.
ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view charset,
                             RuntimeDelivery runtime = RuntimeDelivery::InPage);

// The runtime script every page made from a deck runs.
std::string_view WmlRuntime();
// The host the gateway answers for with the runtime; the .invalid domain
// never reaches a real site.
inline constexpr char WmlRuntimeHost[] = "runtime.tessaly.invalid";
// "http://runtime.tessaly.invalid/wml-<version>.js". The version changes with
// the script, so a cached copy is never stale.
std::string_view WmlRuntimeAddress();

}  // namespace tessaly::wap
