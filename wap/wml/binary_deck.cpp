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
#include <filesystem>
#include <string>

#include "deck_decoder_limits.h"

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

}  // namespace

std::optional<std::string> DecodeWmlc(std::string_view wbxml) {
    // A binary deck opens with its WBXML version, 1.0 to 1.3: anything else
    // is not one, and needs no process of its own to say so.
    if (wbxml.empty() || static_cast<unsigned char>(wbxml.front()) > 0x03 ||
        wbxml.size() > MaxBinaryDeckBytes) {
        return std::nullopt;
    }
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

}  // namespace tessaly::wap
