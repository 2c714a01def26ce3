#include "binary_deck.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace tessaly::wap {

namespace {

// What a deck may decode to at most, and how long decoding may take.
constexpr std::size_t MaxDecodedBytes = 16 * 1024 * 1024;
constexpr std::chrono::milliseconds DecodeTimeout{5000};

std::optional<std::string> DecodeHere(std::string_view wbxml) {
    WBXMLConvWBXML2XML* converter = nullptr;
    if (wbxml_conv_wbxml2xml_create(&converter) != WBXML_OK) {
        return std::nullopt;
    }
    std::unique_ptr<WBXMLConvWBXML2XML, decltype(&wbxml_conv_wbxml2xml_destroy)> owner(
        converter, &wbxml_conv_wbxml2xml_destroy);
    wbxml_conv_wbxml2xml_set_gen_type(converter, WBXML_GEN_XML_COMPACT);
    wbxml_conv_wbxml2xml_set_charset(converter, WBXML_CHARSET_UTF_8);
    wbxml_conv_wbxml2xml_enable_preserve_whitespaces(converter);
    // The library reads its input without changing it but takes it unqualified.
    std::string input(wbxml);
    WB_UTINY* xml = nullptr;
    WB_ULONG xmlLength = 0;
    const WBXMLError status =
        wbxml_conv_wbxml2xml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                                 static_cast<WB_ULONG>(input.size()), &xml, &xmlLength);
    if (status != WBXML_OK || xml == nullptr) {
        std::free(xml);
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(xml), xmlLength);
    std::free(xml);
    return text;
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

// Reads the child's answer until it closes its end, within the size and time
// bounds; false when it broke one.
bool ReadAnswer(int fd, std::string& answer) {
    const auto deadline = std::chrono::steady_clock::now() + DecodeTimeout;
    char buffer[64 * 1024];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return false;
        }
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
        if (answer.size() + static_cast<std::size_t>(got) > MaxDecodedBytes) {
            return false;
        }
        answer.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

std::optional<std::string> DecodeWmlc(std::string_view wbxml) {
    // A binary deck opens with its WBXML version, 1.0 to 1.3: anything else
    // is not one, and needs no process of its own to say so.
    if (wbxml.empty() || static_cast<unsigned char>(wbxml.front()) > 0x03) {
        return std::nullopt;
    }
    // The decoding library stops the whole process on some malformed decks
    // (failed assertions), and decks come from any site: it runs in a child
    // process, whose end costs only that deck.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(ends[0]);
        const std::optional<std::string> text = DecodeHere(wbxml);
        const bool sent = text && WriteAll(ends[1], *text);
        ::_exit(sent ? 0 : 1);
    }
    ::close(ends[1]);
    std::string text;
    const bool answered = ReadAnswer(ends[0], text);
    ::close(ends[0]);
    if (!answered) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return text;
}

}  // namespace tessaly::wap
