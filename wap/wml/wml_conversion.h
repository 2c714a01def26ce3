#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script_units.h"

namespace tessaly::wap {

struct DocumentDetails;

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
    // For a deck: the charset it was read in, and how many cards it has (0
    // when it could not be read).
    std::string charset{};
    int cards = 0;
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
// one the HTTP header named (empty when none), userCharset the one the user
// chose for the site (see UserCharsetHeader), used only when the deck names
// none itself. Safe to call from any thread; never throws: a deck that
// cannot be read becomes a page that says so.
// A page that cannot fetch WMLScript units itself (one not carried by the
// gateway) is given `scripts`: the units the deck calls are fetched with it,
// made ready, and carried in the page.
ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view charset,
                             RuntimeDelivery runtime = RuntimeDelivery::InPage,
                             std::string_view userCharset = {}, const ScriptFetcher& scripts = {});

// The details to record (RenderedDecks::RecordDetails) for a deck that
// ConvertWmlDeck made `page` from: `deck` the text it was given (a binary
// deck's decoded WML), `contentType` as the site sent it, `bytes` the size
// that came (a binary deck's own size).
DocumentDetails DeckDetails(std::string_view deck, std::string_view contentType, std::size_t bytes,
                            const ConvertedPage& page);

// The runtime script every page made from a deck runs.
std::string_view WmlRuntime();
// The host the gateway answers for with the runtime; the .invalid domain
// never reaches a real site.
inline constexpr char WmlRuntimeHost[] = "runtime.tessaly.invalid";
// "http://runtime.tessaly.invalid/wml-<version>.js". The version changes with
// the script, so a cached copy is never stale.
std::string_view WmlRuntimeAddress();

}  // namespace tessaly::wap
