#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QWebEnginePage;

namespace tessaly {

namespace wap {
class RenderedDecks;
}

// Shows a WML deck that reached the engine past the WAP gateway (over https,
// or from a local file) as the page made from it, like a deck the gateway
// converted. The engine shows such a deck as source text: once it has
// loaded, the deck is read again (a local file from disk; an https deck by a
// same-origin fetch from an isolated script world, so the site's cookies go
// along and the engine's cache may answer), converted, and written into the
// same document. The address, the history entry and the events of the load
// stay those of the one navigation.
class RawDeckRescue : public QObject {
    Q_OBJECT

public:
    explicit RawDeckRescue(QObject* parent = nullptr) : QObject(parent) {}

    // Where converted documents are recorded, so their fragment changes are
    // card changes. May be null.
    void SetRenderedDecks(wap::RenderedDecks* decks) { decks_ = decks; }

    // Called when a main-frame load of page ends well.
    void LoadSucceeded(QWebEnginePage* page, const QUrl& url);

    // Decks larger than this are left as they are, as the gateway does.
    static constexpr qsizetype MaxDeckBytes = 2 * 1024 * 1024;

signals:
    // A deck was written in place of its source; elapsedMs counts from the
    // end of the load.
    void Rescued(const QUrl& url, qint64 elapsedMs);

private:
    void ReadLocalFile(QWebEnginePage* page, const QUrl& url, const QElapsedTimer& since);
    void FetchOverNetwork(QWebEnginePage* page, const QUrl& url, const QElapsedTimer& since);
    void PollFetch(QPointer<QWebEnginePage> page, const QUrl& url, const QElapsedTimer& since,
                   int attempt);
    void Show(QWebEnginePage* page, const QUrl& url, const QByteArray& deck, const QString& charset,
              const QElapsedTimer& since);

    wap::RenderedDecks* decks_ = nullptr;
};

}  // namespace tessaly
