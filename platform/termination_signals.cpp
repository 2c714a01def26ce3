#include "termination_signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#endif

namespace tessaly {

#ifdef Q_OS_UNIX
namespace {

// The write end of a socket pair: a signal handler may only write a byte.
int signalSocket[2] = {-1, -1};

void OnSignal(int) {
    const int savedErrno = errno;  // the interrupted code may be about to read it
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace
#endif

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
    // Non-blocking, so a burst of signals can never stall the handler; closed on
    // exec, so programs started for links do not inherit it.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSocket) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalSocket[1], &byte, 1);
        emit Requested();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
#endif
}

TerminationSignals::~TerminationSignals() {
#ifdef Q_OS_UNIX
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
    for (int& end : signalSocket) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
#endif
}

}  // namespace tessaly
