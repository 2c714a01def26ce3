#pragma once

#include "browser.h"
#include "browser_events.h"

class QWebEngineNewWindowRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace tessaly {

namespace wap {
class RenderedDecks;
}
class RawDeckRescue;
class UserActivation;

// The browser pane over Qt WebEngine (Chromium). New windows the user asks
// for open in the same pane; those a page opens on its own are refused.
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

    // Where decks that arrived past the WAP gateway (https, local files) and
    // were shown converted are recorded. May be null.
    void SetRenderedDecks(wap::RenderedDecks* decks);
    RawDeckRescue* deckRescue() const { return rescue_; }

private:
    QWebEnginePage* NewPage();
    void ConnectEngine();
    void ConnectEvents();
    void OpenNewWindow(QWebEngineNewWindowRequest& request);
    // Shows page in place of the current one, which is let go.
    void AdoptPage(QWebEnginePage* page);
    void ReportHistory();

    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    UserActivation* activation_;
    RawDeckRescue* rescue_;
    BrowserEvents events_;
};

}  // namespace tessaly
