// The gateway's reader of game descriptors (.jad) on any bytes, as a site
// may send them.
//
// Invariants: every text field is valid UTF-8 of at most MaxJadValueChars
// characters with no control character; the archive's resolved address is
// empty or an http or https address; a size is never negative.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "jad_details.h"

using tessaly::fuzz::Broken;

namespace {

// Checks UTF-8 by hand: Qt's decoder drops a leading byte-order mark, so a
// round trip through it would not tell.
void CheckText(const std::string& text) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++characters) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x20 || lead == 0x7f) {
            Broken("a control character in a field");
        }
        const std::size_t length = lead < 0x80             ? 1
                                   : (lead & 0xe0) == 0xc0 ? 2
                                   : (lead & 0xf0) == 0xe0 ? 3
                                   : (lead & 0xf8) == 0xf0 ? 4
                                                           : 0;
        if (length == 0 || at + length > text.size()) {
            Broken("a field that is not UTF-8");
        }
        std::uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xc0) != 0x80) {
                Broken("a field that is not UTF-8");
            }
            code = (code << 6) | (next & 0x3f);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
            Broken("a field that is not UTF-8");
        }
        at += length;
    }
    if (characters > tessaly::wap::MaxJadValueChars) {
        Broken("a field longer than its bound");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tessaly::wap::JadDetails details =
        tessaly::wap::ParseJadDetails(text, "http://wap.example/games/list/game.jad");
    for (const std::string* field : {&details.name, &details.vendor, &details.version,
                                     &details.description, &details.jarUrl}) {
        CheckText(*field);
    }
    const std::string& jar = details.resolvedJarUrl;
    if (!jar.empty() && !jar.starts_with("http://") && !jar.starts_with("https://")) {
        Broken("an archive address that is no web address");
    }
    if (details.jarSize && *details.jarSize < 0) {
        Broken("a negative archive size");
    }
    return 0;
}
