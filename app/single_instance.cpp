#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "qt_paths.h"

namespace tessaly {

namespace {

// How long a later copy keeps trying to reach the first one, which may still
// be starting up and not listening yet.
constexpr int ReachFirstCopyMs = 5000;

// Opens (or creates) the lock file, never through a link and never blocking
// on something that is not a regular file; -1 when it cannot.
int OpenLockFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

SingleInstance::SingleInstance(const QString& programFolder, QObject* parent) : QObject(parent) {
    if (!QFileInfo(ProgramFilePath(programFolder, "\\Data")).isDir()) {
        return;
    }
    const QString name = ServerName(programFolder);
    // The lock goes with the process, however it ends, so a crashed copy
    // never leaves a stale one behind. Only a lock another process holds
    // means another copy: a lock file that cannot be opened (a folder or a
    // link in its place, no permission, a read-only Data folder) does not.
    lockFd_ = OpenLockFile(ProgramFilePath(programFolder, "\\Data\\Tessaly.lock"));
    if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const bool heldByAnother = errno == EWOULDBLOCK;
        ::close(lockFd_);
        lockFd_ = -1;
        if (heldByAnother) {
            anotherCopyRuns_ = true;
            AskToComeForward(name);
            return;
        }
    }
    // Every first copy also claims the folder's name among the local
    // sockets, whether or not it holds the file: a copy that could not
    // take the file is still found by the next one, even if the lock file
    // has been repaired meanwhile.
    if (Listen(name) == Claim::HeldByAnother) {
        if (lockFd_ >= 0) {
            ::close(lockFd_);
            lockFd_ = -1;
        }
        anotherCopyRuns_ = true;
    }
}

SingleInstance::~SingleInstance() {
    delete server_;
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

QString SingleInstance::ServerName(const QString& programFolder) {
    const QString folder = QDir(programFolder).canonicalPath();
    const QByteArray hash = QCryptographicHash::hash(
        QFile::encodeName(folder.isEmpty() ? programFolder : folder), QCryptographicHash::Sha256);
    return QStringLiteral("tessaly-") + QString::fromLatin1(hash.toHex().left(24));
}

SingleInstance::Claim SingleInstance::Listen(const QString& name) {
    // A name in the abstract namespace: taking it is atomic, it goes with
    // the process, and it needs nothing written anywhere.
    server_ = new QLocalServer();
    server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server_->listen(name)) {
        const bool inUse = server_->serverError() == QAbstractSocket::AddressInUseError;
        delete server_;
        server_ = nullptr;
        // Only a copy of this user counts: the name is easy to work out, and
        // another user's process holding it must not keep the program from
        // running. Without the name the window cannot be called forward; the
        // file lock, if taken, still holds.
        return inUse && AskToComeForward(name) ? Claim::HeldByAnother : Claim::Unavailable;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* caller = server_->nextPendingConnection()) {
            caller->disconnectFromServer();
            caller->deleteLater();
            emit BringForwardRequested();
        }
    });
    return Claim::Taken;
}

bool SingleInstance::AskToComeForward(const QString& name) {
    const QDeadlineTimer deadline(ReachFirstCopyMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(name);
        if (socket.waitForConnected(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 250)))) {
            struct ucred peer {};
            socklen_t size = sizeof peer;
            const bool sameUser = ::getsockopt(static_cast<int>(socket.socketDescriptor()),
                                               SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                                  peer.uid == ::getuid();
            socket.disconnectFromServer();
            return sameUser;
        }
        // Not listening yet: try again shortly, until the deadline.
        QThread::msleep(50);
    }
    return false;
}

}  // namespace tessaly
