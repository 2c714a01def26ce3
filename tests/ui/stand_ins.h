#pragma once

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "browser.h"
#include "failure.h"
#include "shell_open.h"

namespace tessaly::testing {

// A browser pane that records the operations it is asked for and raises
// notifications only when the test says so.
class FakeBrowser : public Browser {
public:
    QStringList calls;
    bool canGoBack = false;
    bool canGoForward = false;

    void Navigate(const QString& url) override { calls << "Navigate " + url; }
    void GoBack() override {
        if (!canGoBack) {
            throw Failure("no page to go back to");
        }
        calls << "GoBack";
    }
    void GoForward() override {
        if (!canGoForward) {
            throw Failure("no page to go forward to");
        }
        calls << "GoForward";
    }
    void Stop() override { calls << "Stop"; }
    void Refresh() override { calls << "Refresh"; }
};

// Records every target handed to the desktop, with the window that asked.
class RecordingShell : public ShellOpener {
public:
    struct Call {
        QWidget* window;
        QString target;
    };
    QList<Call> calls;
    bool fail = false;

    void ShellOpen(QWidget* window, const QString& target) override {
        calls.append({window, target});
        if (fail) {
            throw Failure("no program to open it with");
        }
    }
    QStringList Targets() const {
        QStringList list;
        for (const Call& call : calls) {
            list << call.target;
        }
        return list;
    }
};

// Runs `action` with the modal window once one is open (polling the event
// loop, since the modal window is shown from inside a blocking call).
inline void WhenModalOpens(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            action(modal);
        }
    });
    poll->start();
}

}  // namespace tessaly::testing
