// tessaly-deck-decoder: decodes one binary WML deck (WBXML) from standard
// input to WML text in UTF-8 on standard output. The program runs it as a
// process of its own for every binary deck, because the decoding library
// stops its whole process on some malformed decks, and decks come from any
// site. Exits 0 when the deck was decoded and written whole.

#include <sys/resource.h>
#include <unistd.h>
#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "deck_decoder_limits.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_ADDRESS_SANITIZER
#endif
#endif

namespace {

bool ReadAll(int fd, std::string& into, std::size_t limit) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (into.size() + static_cast<std::size_t>(got) > limit) {
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void Limit(int resource, rlim_t value) {
    const rlimit limit{value, value};
    ::setrlimit(resource, &limit);
}

}  // namespace

int main() {
    using namespace tessaly::wap;
    // However the library misbehaves, it stops here. (AddressSanitizer has
    // reserved far more address space already: under it, memory is left be.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(TESSALY_ADDRESS_SANITIZER)
    Limit(RLIMIT_AS, DecoderMemoryBytes);
#endif
    Limit(RLIMIT_CPU, DecoderCpuSeconds);
    Limit(RLIMIT_CORE, 0);

    std::string input;
    if (!ReadAll(STDIN_FILENO, input, MaxBinaryDeckBytes) || input.empty()) {
        ::_exit(1);
    }
    WBXMLConvWBXML2XML* converter = nullptr;
    if (wbxml_conv_wbxml2xml_create(&converter) != WBXML_OK) {
        ::_exit(1);
    }
    wbxml_conv_wbxml2xml_set_gen_type(converter, WBXML_GEN_XML_COMPACT);
    wbxml_conv_wbxml2xml_set_charset(converter, WBXML_CHARSET_UTF_8);
    wbxml_conv_wbxml2xml_enable_preserve_whitespaces(converter);
    WB_UTINY* xml = nullptr;
    WB_ULONG xmlLength = 0;
    const WBXMLError status =
        wbxml_conv_wbxml2xml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                                 static_cast<WB_ULONG>(input.size()), &xml, &xmlLength);
    const bool decoded = status == WBXML_OK && xml != nullptr && xmlLength <= MaxDecodedDeckBytes;
    const bool sent =
        decoded &&
        WriteAll(STDOUT_FILENO, std::string_view(reinterpret_cast<const char*>(xml), xmlLength));
    // Straight out: nothing is left to free or flush.
    ::_exit(sent ? 0 : 1);
}
