#include "binary_deck.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include "deck_charset.h"
#include "deck_decoder_limits.h"
#include "multi_byte.h"

extern char** environ;

namespace tessaly::wap {

namespace {

constexpr char DecoderName[] = "tessaly-deck-decoder";

// The decoder beside the running executable (the program folder), or where
// the build made it (tests and benchmarks run from elsewhere).
std::string DecoderPath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = self.parent_path() / DecoderName;
        if (::access(beside.c_str(), X_OK) == 0) {
            return beside.string();
        }
    }
    return TESSALY_DECK_DECODER_BUILT;
}

struct Child {
    pid_t pid = -1;
    int socket = -1;  // the decoder's standard input and output
};

// Starts the decoder without fork(): the program has many threads, and a
// forked copy of it may hang on a lock another thread held. The decoder gets
// only its end of the socket; every other descriptor is closed in it.
Child StartDecoder() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    // Signals the program ignores or handles start at their defaults there.
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string path = DecoderPath();
    char* argv[] = {const_cast<char*>(DecoderName), nullptr};
    Child child;
    if (::posix_spawn(&child.pid, path.c_str(), &actions, &attributes, argv, environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (child.pid < 0) {
        ::close(ends[0]);
        return {};
    }
    child.socket = ends[0];
    return child;
}

// Sends the deck, then reads the answer until the decoder closes its end,
// within the size and time bounds; false when it broke one.
bool Exchange(int socket, std::string_view deck, std::string& answer) {
    const auto deadline = std::chrono::steady_clock::now() + DecodeTimeout;
    bool sending = true;
    char buffer[64 * 1024];
    for (;;) {
        if (sending && deck.empty()) {
            ::shutdown(socket, SHUT_WR);
            sending = false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{socket, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return false;
        }
        if (sending && (ready.revents & POLLOUT)) {
            const ssize_t sent =
                ::send(socket, deck.data(), deck.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            if (sent > 0) {
                deck.remove_prefix(static_cast<std::size_t>(sent));
            }
        }
        if (ready.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                return !sending;
            }
            if (answer.size() + static_cast<std::size_t>(got) > MaxDecodedDeckBytes) {
                return false;
            }
            answer.append(buffer, static_cast<std::size_t>(got));
        }
    }
}

// The charsets (by their IANA MIBenum) whose text the decoding library
// cannot convert but passes through untouched when told it is UTF-8: all
// keep ASCII as ASCII, so the markup it writes around the text stays
// readable, and the whole is decoded afterwards.
const char* PassedThroughCharset(std::uint32_t mib) {
    switch (mib) {
        case 4:
            return "ISO-8859-1";
        case 5:
            return "ISO-8859-2";
        case 8:
            return "ISO-8859-5";
        case 17:
            return "Shift_JIS";
        case 113:
            return "GBK";
        case 114:
            return "GB18030";
        case 2025:
            return "GB2312";
        case 2026:
            return "Big5";
        case 2084:
            return "KOI8-R";
        case 2251:
            return "windows-1251";
        case 2252:
            return "windows-1252";
        default:
            return nullptr;
    }
}

constexpr std::uint32_t Utf8Mib = 106;

std::optional<std::string> RunDecoder(std::string_view wbxml) {
    const Child child = StartDecoder();
    if (child.pid < 0) {
        return std::nullopt;
    }
    std::string text;
    const bool answered = Exchange(child.socket, wbxml, text);
    ::close(child.socket);
    if (!answered) {
        ::kill(child.pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::string> DecodeWmlc(std::string_view wbxml, std::string_view fallbackCharset) {
    // A binary deck opens with its WBXML version, 1.0 to 1.3: anything else
    // is not one, and needs no process of its own to say so.
    if (wbxml.empty() || static_cast<unsigned char>(wbxml.front()) > 0x03 ||
        wbxml.size() > MaxBinaryDeckBytes) {
        return std::nullopt;
    }
    // The header names the charset of the deck's text (WBXML 1.1 on): one
    // the library cannot convert is given to it as UTF-8 and converted here;
    // 0 (unknown) leaves it to the fallback.
    std::string relabelled;
    QString charset;
    std::size_t at = 1;
    const auto publicId = ReadMultiByte(wbxml, at);
    const bool indexed = publicId && *publicId == 0 && ReadMultiByte(wbxml, at).has_value();
    const std::size_t charsetAt = at;
    const auto mib = wbxml.front() >= 0x01 && publicId && (indexed || *publicId != 0)
                         ? ReadMultiByte(wbxml, at)
                         : std::nullopt;
    if (mib && PassedThroughCharset(*mib)) {
        charset = CanonicalCharset(QString::fromLatin1(PassedThroughCharset(*mib)));
        relabelled = std::string(wbxml.substr(0, charsetAt)) + static_cast<char>(Utf8Mib) +
                     std::string(wbxml.substr(at));
        wbxml = relabelled;
    } else if (mib && *mib == 0) {
        charset = CanonicalCharset(QString::fromLatin1(
            fallbackCharset.data(), static_cast<qsizetype>(fallbackCharset.size())));
    }
    auto text = RunDecoder(wbxml);
    if (!text || charset.isEmpty() || charset == QLatin1String("UTF-8")) {
        return text;
    }
    QStringDecoder decode(charset.toLatin1().constData());
    return QString(decode.decode(QByteArray(text->data(), static_cast<qsizetype>(text->size()))))
        .toStdString();
}

}  // namespace tessaly::wap
