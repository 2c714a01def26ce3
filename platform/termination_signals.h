#pragma once

#include <QObject>

class QSocketNotifier;

namespace tessaly {

// Turns the system's requests to end the program (SIGTERM, SIGINT, SIGHUP)
// into a Qt signal on the main thread, so the program can close its main
// window normally and keep the user's progress.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void Requested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tessaly
