#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

namespace tessaly {

// Turns what the web engine reports about a page into the five browser
// notifications, and nothing else: no window logic lives here, so the mapping
// can be driven and checked on its own.
//
// Order within one load: NavigateComplete2 when the document commits, then
// the Back/Forward states and status texts, progress as it arrives, and at the
// end a final ProgressChange(-1), DownloadComplete and the closing status text.
// What the engine reports before the commit is held until then.
class BrowserEvents : public QObject {
    Q_OBJECT

public:
    static constexpr int ProgressMax = 10000;
    static constexpr int ForwardCommand = 1;
    static constexpr int BackCommand = 2;

    enum class LoadEnd { Succeeded, Failed, Stopped };

    // Whether a document (its address without the fragment) is a WML deck
    // that the program rendered itself. Inside such a document a change of
    // fragment is a card change: it counts as a page shown when the user
    // caused it, and once per load of the document when the deck did.
    using CardDocumentTest = std::function<bool(const QUrl& document)>;

    // Whether the user caused what the page does now (a click on an in-page
    // link, say); a true answer uses that action up.
    using UserGestureTest = std::function<bool()>;

    using QObject::QObject;

    void SetCardDocumentTest(CardDocumentTest test) { isCardDocument_ = std::move(test); }
    // Without a test, no change within a document counts as the user's.
    void SetUserGestureTest(UserGestureTest test) { userCaused_ = std::move(test); }

    // Inputs, one per engine report.
    void LoadStarted(const QUrl& url);
    void UrlCommitted(const QUrl& url);
    void LoadProgress(int percent);
    void LoadEnded(LoadEnd how, const QUrl& url);
    void LinkHovered(const QString& url);
    void HistoryChanged(bool canGoBack, bool canGoForward);

    // Downloads. A navigation that became a download the user started ends
    // through LoadEnded (Stopped); one that became a download nobody asked
    // for (a repeat, or one the page started on its own) is Abandoned and
    // ends without a word. A download the user started that no navigation
    // ended for (a link marked for download) is reported by DownloadStarted,
    // which raises what a navigation's end raises.
    void LoadAbandoned();
    void DownloadStarted();
    // Whether the load under way has shown a document of its own.
    bool LoadCommitted() const { return loading_ && committed_; }

signals:
    void StatusTextChange(const QString& text);
    void ProgressChange(int progress, int progressMax);
    void CommandStateChange(int command, bool enable);
    void DownloadComplete();
    void NavigateComplete2(const QString& url);

private:
    void Commit(const QUrl& url);
    void ReportHistory();
    void ShowCard(const QUrl& url);

    bool loading_ = false;
    bool committed_ = false;
    int pendingPercent_ = -1;
    QUrl loadingUrl_;
    QString hoveredLink_;
    bool canGoBack_ = false;
    bool canGoForward_ = false;
    bool historyReported_ = false;
    // A card the deck moved to by itself (a timer, onenterforward) has
    // counted as a page shown since the document was loaded.
    bool automaticCardShown_ = false;
    CardDocumentTest isCardDocument_;
    UserGestureTest userCaused_;
};

}  // namespace tessaly
