// The WML transcoder on any bytes, as a text deck and, through the binary
// deck decoder, as a binary one: what a hostile site sends reaches both.
//
// Decks whose tasks call scripts also gather them, as pages that carry their
// units do.
//
// Invariants: every page is HTML under a Content-Security-Policy, and holds
// exactly the two scripts of its own (the deck's data and the runtime) or,
// for a deck that cannot be read, none: nothing from the deck becomes a
// script.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binary_deck.h"
#include "fuzz_folder.h"
#include "wml_conversion.h"

using tessaly::fuzz::Broken;

namespace {

constexpr char DeckUrl[] = "http://wap.example/games/deck.wml";

std::size_t Count(std::string_view text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

void Check(const tessaly::wap::ConvertedPage& page) {
    if (page.contentType.rfind("text/html", 0) != 0) {
        Broken("a page that is not HTML");
    }
    bool policy = false;
    for (const auto& [name, value] : page.headers) {
        policy = policy || (name == "Content-Security-Policy" && !value.empty());
    }
    if (!policy) {
        Broken("a page without its policy");
    }
    const std::size_t scripts = Count(page.body, "<script");
    if (scripts != 0 && scripts != 2) {
        Broken("a script that is not the page's own");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto delivery :
         {tessaly::wap::RuntimeDelivery::InPage, tessaly::wap::RuntimeDelivery::ByAddress}) {
        Check(tessaly::wap::ConvertWmlDeck(bytes, DeckUrl, "", delivery));
    }
    // The deck's scripts, fetched for a page that carries them: the bytes
    // before the first NUL are the deck, those after it the WMLScript source
    // every address the deck or its units call answers with.
    const std::size_t split = bytes.find('\0');
    const std::string_view script = split == std::string_view::npos ? "" : bytes.substr(split + 1);
    const tessaly::wap::ScriptFetcher scripts =
        [script](const std::string&) -> std::optional<tessaly::wap::FetchedScript> {
        return tessaly::wap::FetchedScript{std::string(script), "text/vnd.wap.wmlscript"};
    };
    Check(tessaly::wap::ConvertWmlDeck(bytes.substr(0, split), DeckUrl, "",
                                       tessaly::wap::RuntimeDelivery::InPage, {}, scripts));
    if (const auto deck = tessaly::wap::DecodeWmlc(bytes)) {
        Check(tessaly::wap::ConvertWmlDeck(*deck, DeckUrl, "utf-8"));
    }
    return 0;
}
