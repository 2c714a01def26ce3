#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <QVariant>
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
class FindBar;
class RawDeckRescue;
class SitePreferences;
class UserActivation;

// What the page shown says of itself, read from its document.
struct PageFacts {
    QUrl address;
    QString title;
    QString contentType;  // of the document the engine shows
    QString encoding;     // the one the engine reads it in
    qint64 bytes = -1;    // as it came, or -1 when the engine does not know
    int cards = 0;        // for a page made from a WML deck
    QString card;         // the card shown: its title, or its name
};

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

    // Zoom for the site shown, kept for the site until the program ends.
    void ZoomIn();
    void ZoomOut();
    void ResetZoom();
    // Finds text in the page, in a bar over the pane's bottom edge.
    void OpenFindBar();
    // Reads the page shown again in `encoding` (empty for automatic), as
    // every page of its site until the program ends.
    void SetEncoding(const QString& encoding);
    QString Encoding() const;
    // Gives facts what the page shown says of itself; facts may come after
    // the pane is gone, never with a dangling pane.
    void ReadPageFacts(std::function<void(const PageFacts&)> facts);

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

    // What the pane shows for a site it could not reach: the kind of
    // failure (wap::UnreachableKind as a number) for an engine error code and
    // the failed address. The pane maps the engine's own codes by itself; this
    // is asked for a failed tunnel, whose cause only the gateway knows.
    using TunnelFailureTest = std::function<int(const QUrl& url)>;
    void SetTunnelFailureTest(TunnelFailureTest test) { tunnelFailure_ = std::move(test); }

    // Where decks that arrived past the WAP gateway (https, local files) and
    // were shown converted are recorded. May be null.
    void SetRenderedDecks(wap::RenderedDecks* decks);
    RawDeckRescue* DeckRescue() const { return rescue_; }

signals:
    // The user asked for the page's details or its source (context menu).
    void PageInfoRequested();
    void SourceRequested();
    // A link of the built-in site to one of the program's windows was
    // clicked (tessaly://start/program/NAME): NAME, e.g. "favourites".
    void ProgramPageAsked(const QString& name);

protected:
    // Keys the page did not take: digits follow access keys, F1 and F2
    // press a card's soft keys. (Backspace is heard in the page itself.)
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWebEnginePage* NewPage();
    void ConnectEngine();
    void ConnectEvents();
    void AddShortcuts();
    void ShowContextMenu(const QPoint& position);
    void ApplySitePreferences(const QUrl& url);
    // Shows the program's own page in place of the engine's for a site that
    // could not be reached (engine error `code`).
    void ShowUnreachable(const QUrl& url, int code);
    void ReplaceErrorPage(const QUrl& url, const QString& script, int attempt);
    // Runs a script of page_scripts.h in the page's isolated world.
    void RunPageScript(const QString& script, std::function<void(const QVariant&)> done = {});
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
    SitePreferences* preferences_;
    FindBar* findBar_;
    BrowserEvents events_;
    // A navigation the engine stopped, not yet reported: it may have become a
    // download (over https, a binary deck to be shown as its page).
    std::optional<QUrl> heldStop_;
    QElapsedTimer heldSince_;
    QTimer stopWait_;
    // The user's Stop: what stops now is reported at once.
    bool stopAsked_ = false;
    // A preloaded page not yet asked for, and the notifications of its load.
    TunnelFailureTest tunnelFailure_;
    std::optional<QUrl> preloaded_;
    bool holding_ = false;
    struct HeldNotification {
        bool mayDrop;
        std::function<void()> raise;
    };
    std::vector<HeldNotification> held_;
};

}  // namespace tessaly
