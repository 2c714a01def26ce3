#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
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
    // O_CREAT makes the file, never its folder: without Data the open fails.
    lockFd_ = OpenLockFile(ProgramFilePath(programFolder, "\\Data\\Tessaly.lock"));
    if (lockFd_ < 0) {
        return;
    }
    // The lock goes with the process, however it ends, so a crashed copy
    // never leaves a stale one behind.
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
        Listen(ServerName(programFolder));
        return;
    }
    ::close(lockFd_);
    lockFd_ = -1;
    anotherCopyRuns_ = true;
    AskToComeForward(ServerName(programFolder));
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

void SingleInstance::Listen(const QString& name) {
    server_ = new QLocalServer();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, this copy is the only one: a socket left by a copy
    // that was killed is stale and goes.
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
        return;  // the window cannot be called forward, the lock still holds
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* caller = server_->nextPendingConnection()) {
            caller->disconnectFromServer();
            caller->deleteLater();
            emit bringForwardRequested();
        }
    });
}

void SingleInstance::AskToComeForward(const QString& name) {
    const QDeadlineTimer deadline(ReachFirstCopyMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 250)))) {
            socket.disconnectFromServer();
            return;
        }
        // Not listening yet: try again shortly, until the deadline.
        QThread::msleep(50);
    }
}

}  // namespace tessaly
