#pragma once

#include "browser.h"
#include "browser_events.h"

class QWebEngineProfile;
class QWebEngineView;

namespace tessaly {

// The browser pane over Qt WebEngine (Chromium). Popup windows open in the
// same pane.
class BrowserPane : public Browser {
    Q_OBJECT

public:
    // The profile decides where cookies and cache live; it must outlive the pane.
    BrowserPane(QWebEngineProfile* profile, QWidget* parent = nullptr);

    void Navigate(const QString& url) override;
    void GoBack() override;
    void GoForward() override;
    void Stop() override;
    void Refresh() override;

    QWebEngineView* view() const { return view_; }

    // Documents in which a fragment change is a WML card change (see BrowserEvents).
    void SetCardDocumentTest(BrowserEvents::CardDocumentTest test) {
        events_.SetCardDocumentTest(std::move(test));
    }

private:
    void ConnectEngine();
    void ReportHistory();

    QWebEngineView* view_;
    BrowserEvents events_;
};

}  // namespace tessaly
