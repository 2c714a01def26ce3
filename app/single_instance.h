#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tessaly {

// One running copy of the program per program folder. The first copy locks a
// file inside the Data folder for as long as it runs and listens for later
// copies; a later copy finds the lock taken, asks the first to bring its
// window forward, and should end without touching anything.
//
// The first copy also holds a local socket name made from the program folder,
// which later copies call it by. Where the lock file cannot be opened (a
// folder in its place, no permission, a read-only Data folder) that name
// alone keeps later copies out, and the first copy runs as usual.
//
// Without a Data folder there is no progress to protect: no lock is taken and
// the Data folder is never created.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(const QString& programFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Another copy runs from this folder; it has been asked to come forward.
    bool AnotherCopyRuns() const { return anotherCopyRuns_; }

    // The name later copies call the first one by, made from the program folder.
    static QString ServerName(const QString& programFolder);

signals:
    // A later copy was started: the first copy's window should come forward.
    void BringForwardRequested();

private:
    enum class Claim { Taken, HeldByAnother, Unavailable };

    // Takes the socket name and answers later copies on it.
    Claim Listen(const QString& name);
    // Calls the copy holding name forward; true when one of this user's
    // processes answered.
    static bool AskToComeForward(const QString& name);

    int lockFd_ = -1;
    bool anotherCopyRuns_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace tessaly
