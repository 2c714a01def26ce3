#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace tessaly::testing {

// The user the file tests drop to when they run as root, so that permissions
// are enforced: root reads and writes files whatever their mode says.
inline constexpr uid_t UnprivilegedId = 65534;

// Exit codes of a child besides its own: it did not end in time, or it could
// not drop its privileges.
inline constexpr int ChildTimedOut = -1;
inline constexpr int ChildCouldNotDropPrivileges = 77;

// Runs `body` in a child process and returns the code it exits with, 128 + the
// signal that ended it, or ChildTimedOut when it is still running at the
// deadline (it is killed then). A body that blocks for ever (a read from a
// FIFO, say) thus fails the test instead of hanging it. With `unprivileged`,
// a child of root first becomes UnprivilegedId.
inline int RunInChild(const std::function<int()>& body, bool unprivileged = false,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const pid_t child = fork();
    if (child == 0) {
        if (unprivileged && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 ||
                setresgid(UnprivilegedId, UnprivilegedId, UnprivilegedId) != 0 ||
                setresuid(UnprivilegedId, UnprivilegedId, UnprivilegedId) != 0) {
                _exit(ChildCouldNotDropPrivileges);
            }
        }
        int code = 1;
        try {
            code = body();
        } catch (...) {
            code = 2;
        }
        _exit(code);
    }
    if (child < 0) {
        return ChildTimedOut;
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return ChildTimedOut;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Hands a folder and everything in it to UnprivilegedId, so that a dropped
// child owns its program folder like a user owns theirs.
inline void GiveToUnprivilegedUser(const std::filesystem::path& folder) {
    if (geteuid() != 0) {
        return;
    }
    [[maybe_unused]] int ignored = lchown(folder.c_str(), UnprivilegedId, UnprivilegedId);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        ignored = lchown(entry.path().c_str(), UnprivilegedId, UnprivilegedId);
    }
}

}  // namespace tessaly::testing
