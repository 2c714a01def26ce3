#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

#include "browser.h"
#include "browser_events.h"

class QWebEngineDownloadRequest;
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

    // Loads url while the pane is not yet on screen, holding every
    // notification of that load. The first Navigate to the same address
    // shows the load already made and raises what it held, after Navigate
    // returns and in order, as if the load had begun then; any other
    // command drops what was held. A window that opens on a page the
    // engine has already loaded shows it at once.
    void Preload(const QString& url);

    QWebEngineView* View() const { return view_; }

    // The pane whose view shows page, or null.
    static BrowserPane* ForPage(const QWebEnginePage* page);

    // To be offered every download of the pane's page before anything else
    // acts on it (the download manager asks first). A binary WML deck that a
    // navigation of the pane turned into is taken and shown as the page of
    // that navigation: true then, and nothing else may act on the request.
    bool TakeDownload(QWebEngineDownloadRequest* request);
    // Told of every download of the pane's page that it did not take, before
    // the user is asked where to save it: usersDownload when the user started
    // it (not a repeat, not one the page started on its own). A download the
    // user started ends like a navigation, once; the others earn nothing.
    void DownloadDecided(QWebEngineDownloadRequest* request, bool usersDownload);

    // Documents in which a fragment change is a WML card change (see BrowserEvents).
    void SetCardDocumentTest(BrowserEvents::CardDocumentTest test) {
        events_.SetCardDocumentTest(std::move(test));
    }

    // Where decks that arrived past the WAP gateway (https, local files) and
    // were shown converted are recorded. May be null.
    void SetRenderedDecks(wap::RenderedDecks* decks);
    RawDeckRescue* DeckRescue() const { return rescue_; }

private:
    QWebEnginePage* NewPage();
    void ConnectEngine();
    void ConnectEvents();
    // Raises a notification now, or keeps it for the Navigate that shows a
    // preloaded page; one that mayDrop goes first when too many are held.
    void Notify(std::function<void()> raise, bool mayDrop = false);
    void ReleaseHeldNotifications();
    void DropPreload();
    void OpenNewWindow(QWebEngineNewWindowRequest& request);
    // Shows page in place of the current one, which is let go.
    void AdoptPage(QWebEnginePage* page);
    void ReportHistory();
    void HoldStop(const QUrl& url);
    void ReleaseStop();
    // Ends, as stopped, a navigation whose binary deck was still arriving.
    void EndArrivingDeck(const QUrl& deck);

    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    UserActivation* activation_;
    RawDeckRescue* rescue_;
    BrowserEvents events_;
    // A navigation the engine stopped, not yet reported: it may have become a
    // download (over https, a binary deck to be shown as its page).
    std::optional<QUrl> heldStop_;
    QElapsedTimer heldSince_;
    QTimer stopWait_;
    // The user's Stop: what stops now is reported at once.
    bool stopAsked_ = false;
    // A preloaded page not yet asked for, and the notifications of its load.
    std::optional<QUrl> preloaded_;
    bool holding_ = false;
    struct HeldNotification {
        bool mayDrop;
        std::function<void()> raise;
    };
    std::vector<HeldNotification> held_;
};

}  // namespace tessaly
