#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

class QTemporaryDir;
class QWebEngineDownloadRequest;
class QWebEnginePage;

namespace tessaly {

namespace wap {
class RenderedDecks;
}

// Shows a WML deck that reached the engine past the WAP gateway (over https,
// or from a local file) as the page made from it, like a deck the gateway
// converted.
//
// A text deck the engine shows as source text: once it has loaded, the deck
// is read again (a local file from disk; an https deck by a same-origin fetch
// from an isolated script world, so the site's cookies go along and the
// engine's cache may answer), converted, and written into the same document.
// The address, the history entry and the events of the load stay those of the
// one navigation.
//
// A binary deck the engine cannot show at all: the navigation to it stops and
// becomes a download, which the browser pane hands over here. The download
// runs into a private temporary folder (the bytes are those the navigation
// received, asked for with the site's cookies); the deck is decoded,
// converted, and shown as a new document at the deck's address, with its own
// history entry.
class RawDeckRescue : public QObject {
    Q_OBJECT

public:
    explicit RawDeckRescue(QObject* parent = nullptr);
    ~RawDeckRescue() override;

    // Where converted documents are recorded, so their fragment changes are
    // card changes. May be null.
    void SetRenderedDecks(wap::RenderedDecks* decks) { decks_ = decks; }

    // Called when a main-frame load starts. A binary deck still
    // arriving is dropped: its address is returned, as that of a navigation
    // that ends without a page.
    QUrl LoadStarted(const QUrl& url);
    // Called when a main-frame load of page ends well.
    void LoadSucceeded(QWebEnginePage* page, const QUrl& url);

    // Whether request is a binary deck the engine would offer as a file:
    // neither accepted nor refused yet, and not a page being saved.
    static bool IsBinaryDeck(const QWebEngineDownloadRequest* request);
    // Takes the download of a binary deck that page's navigation to url
    // turned into, and shows the deck in page at url once it has arrived. A
    // deck larger than MaxDeckBytes, or one that cannot be decoded, is shown
    // as the page the gateway shows for one; one whose transfer breaks off or
    // takes longer than BinaryDeckDeadlineMs ends as a failed load
    // (BinaryDeckFailed). since runs from the end of the navigation. False, and the request left
    // alone, when no private folder can be made for it.
    bool TakeBinaryDeck(QWebEnginePage* page, QWebEngineDownloadRequest* request, const QUrl& url,
                        const QElapsedTimer& since);
    // Gives up a binary deck still arriving (the user stopped it); returns
    // its address, or an empty one when there was none.
    QUrl DropBinaryDeck();
    // The engine starts a transfer that broke off over again and offers it
    // anew: for the binary deck arriving, that ends it as failed (true, and
    // nothing else may act on request).
    bool TakeRestartedDeck(QWebEngineDownloadRequest* request);
    bool BinaryDeckArriving() const { return !binaryUrl_.isEmpty(); }

    // Decks larger than this are not converted, as the gateway does.
    static constexpr qsizetype MaxDeckBytes = 2 * 1024 * 1024;
    static constexpr int BinaryDeckDeadlineMs = 60 * 1000;

signals:
    // A deck was shown in place of its source (or of its download);
    // elapsedMs counts from the end of the load.
    void Rescued(const QUrl& url, qint64 elapsedMs);
    // The binary deck of the navigation to url never arrived whole.
    void BinaryDeckFailed(const QUrl& url);

private:
    void ReadLocalFile(QWebEnginePage* page, const QUrl& url, const QElapsedTimer& since);
    void FetchOverNetwork(QWebEnginePage* page, const QUrl& url, const QElapsedTimer& since);
    void Show(QWebEnginePage* page, const QUrl& url, const QByteArray& deck, const QString& charset,
              const QElapsedTimer& since);
    enum class BinaryDeckEnd { Arrived, TooLarge, Unreadable };
    void CheckBinaryDeck();
    void ShowBinaryDeck(BinaryDeckEnd end, const QByteArray& deck);
    void FailBinaryDeck();
    void EndBinaryDownload();

    wap::RenderedDecks* decks_ = nullptr;

    // The binary deck on its way: the engine's download of it and the
    // private folder it is written to, which goes with it.
    QPointer<QWebEngineDownloadRequest> binaryDownload_;
    quint32 binaryDownloadId_ = 0;
    std::unique_ptr<QTemporaryDir> binaryFolder_;
    QPointer<QWebEnginePage> binaryPage_;
    QUrl binaryUrl_;
    QElapsedTimer binarySince_;
    QTimer binaryDeadline_;
    // The binary deck handed to its page, until that page has loaded.
    QUrl shownBinary_;
    QElapsedTimer shownSince_;
};

}  // namespace tessaly
