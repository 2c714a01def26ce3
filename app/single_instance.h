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
// Without a Data folder there is no progress to protect: no lock is taken and
// the Data folder is never created. Where the lock file cannot be made at
// all (a read-only Data folder), no copy can save either, and each runs.
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
    void bringForwardRequested();

private:
    void Listen(const QString& name);
    static void AskToComeForward(const QString& name);

    int lockFd_ = -1;
    bool anotherCopyRuns_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace tessaly
