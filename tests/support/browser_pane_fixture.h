#pragma once

#include <QSize>
#include <QWebEngineProfile>
#include <functional>

#include "browser_event_log.h"
#include "browser_pane.h"

namespace tessaly::testing {

// What the browser tests set up before each test: a fresh profile in memory
// (nothing left behind), a pane on it, shown, and a log of its notifications.
// A test class derives from it, calls MakeProfile and ShowPane from init()
// and DeletePane from cleanup().
class BrowserPaneFixture {
protected:
    void MakeProfile(QObject* owner) { profile_ = new QWebEngineProfile(owner); }
    // prepare, when given, sets the pane up before it is shown.
    void ShowPane(QSize size = {400, 300}, const std::function<void(BrowserPane&)>& prepare = {}) {
        pane_ = new BrowserPane(profile_);
        if (prepare) {
            prepare(*pane_);
        }
        pane_->resize(size);
        pane_->show();
        log_ = new BrowserEventLog(pane_);
    }
    void DeletePane() {
        delete log_;
        delete pane_;
        delete profile_;
        log_ = nullptr;
        pane_ = nullptr;
        profile_ = nullptr;
    }

    QWebEngineProfile* profile_ = nullptr;
    BrowserPane* pane_ = nullptr;
    BrowserEventLog* log_ = nullptr;
};

}  // namespace tessaly::testing
