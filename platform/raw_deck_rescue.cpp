#include "raw_deck_rescue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <algorithm>
#include <optional>

#include "binary_deck.h"
#include "json_text.h"
#include "note_pages.h"
#include "off_thread.h"
#include "page_fetch.h"
#include "rendered_decks.h"
#include "wml_conversion.h"

namespace tessaly {

namespace {

constexpr quint32 World = QWebEngineScript::ApplicationWorld;

// What the engine showed: a deck as source text, not yet replaced. The mark
// lives in the isolated world, which the page's own scripts cannot reach.
const QString ProbeScript =
    QStringLiteral("(window.tessalyDeckWritten === location.href) ? '' : document.contentType");

bool IsRawDeckType(const QString& type) {
    return type.compare(QLatin1String("text/vnd.wap.wml"), Qt::CaseInsensitive) == 0;
}

const QString BinaryDeckFileName = QStringLiteral("deck.wmlc");
const QString PageType = QStringLiteral("text/html;charset=UTF-8");

// A page given to the engine as content travels as a data: address with the
// page percent-encoded, and the engine refuses addresses over 2 MB.
constexpr qsizetype MaxAddressLength = 2 * 1024 * 1024;

bool FitsInAddress(const QByteArray& page) {
    qsizetype length = QStringLiteral("data:,").size() + PageType.size();
    for (const char c : page) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        length += unreserved ? 1 : 3;
    }
    return length <= MaxAddressLength;
}

std::string DocumentAddress(const QUrl& url) {
    return wap::DocumentAddress(url.toString(QUrl::FullyEncoded).toStdString());
}

}  // namespace

RawDeckRescue::RawDeckRescue(QObject* parent) : QObject(parent) {
    // A site that trickles a deck does not hold the navigation for good.
    binaryDeadline_.setSingleShot(true);
    connect(&binaryDeadline_, &QTimer::timeout, this, &RawDeckRescue::FailBinaryDeck);
}

RawDeckRescue::~RawDeckRescue() {
    EndBinaryDownload();
}

QUrl RawDeckRescue::LoadStarted(const QUrl& url) {
    // The page made from a binary deck loads from a data: address of its
    // own; any other load means the page has moved on.
    if (url.scheme() != QLatin1String("data")) {
        shownBinary_.clear();
    }
    return DropBinaryDeck();
}

void RawDeckRescue::LoadSucceeded(QWebEnginePage* page, const QUrl& url) {
    if (!shownBinary_.isEmpty() && DocumentAddress(url) == DocumentAddress(shownBinary_)) {
        shownBinary_.clear();
        emit Rescued(url, shownSince_.elapsed());
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("file")) {
        return;
    }
    QElapsedTimer since;
    since.start();
    QPointer<QWebEnginePage> guarded(page);
    page->runJavaScript(ProbeScript, World, [this, guarded, url, since](const QVariant& type) {
        // The page may have moved on while the question was out.
        if (!guarded || guarded->url() != url || !IsRawDeckType(type.toString())) {
            return;
        }
        if (url.isLocalFile()) {
            ReadLocalFile(guarded, url, since);
        } else {
            FetchOverNetwork(guarded, url, since);
        }
    });
}

void RawDeckRescue::ReadLocalFile(QWebEnginePage* page, const QUrl& url,
                                  const QElapsedTimer& since) {
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxDeckBytes) {
        return;
    }
    Show(page, url, file.read(MaxDeckBytes), QString(), since);
}

// Reads the document's address again, same origin with the site's cookies.
void RawDeckRescue::FetchOverNetwork(QWebEnginePage* page, const QUrl& url,
                                     const QElapsedTimer& since) {
    QPointer<QWebEnginePage> guarded(page);
    QPointer<RawDeckRescue> self(this);
    FetchThroughPage(page, url, url.toString(QUrl::FullyEncoded), MaxDeckBytes,
                     [self, guarded, url, since](std::optional<PageFetched> fetched) {
                         // A site may answer the second request with something
                         // else: only a deck is written over the page.
                         if (!self || !guarded || !fetched || !IsRawDeckType(fetched->type)) {
                             return;
                         }
                         self->Show(guarded, url, fetched->body, fetched->charset, since);
                     });
}

void RawDeckRescue::Show(QWebEnginePage* page, const QUrl& url, const QByteArray& deck,
                         const QString& charset, const QElapsedTimer& since) {
    const QByteArray address = url.toString(QUrl::FullyEncoded).toUtf8();
    QPointer<QWebEnginePage> guarded(page);
    RunOffThread(
        this,
        [deck, address, charset = charset.toStdString(), decks = decks_,
         scripts =
             url.isLocalFile() ? ScriptsBesideLocalDeck(url) : ScriptsThroughPage(page, url)] {
            const std::string_view sent(deck.constData(), static_cast<std::size_t>(deck.size()));
            wap::ConvertedPage page =
                wap::ConvertWmlDeck(sent, std::string_view(address.constData(), address.size()),
                                    charset, wap::RuntimeDelivery::InPage, {}, scripts);
            if (decks) {
                decks->RecordDetails(address.toStdString(),
                                     wap::DeckDetails(sent, "text/vnd.wap.wml", sent.size(), page));
            }
            return std::move(page.body);
        },
        [this, guarded, url, since](const std::string& body) {
            if (!guarded || guarded->url() != url) {
                return;
            }
            if (decks_) {
                decks_->Add(url.toString(QUrl::FullyEncoded).toStdString());
            }
            // The page replaces the source in the same document: no
            // navigation, so no history entry and no second load. Its scripts
            // run in the page's own world under the policy and nonce the page
            // carries.
            QString script = QStringLiteral(
                "window.tessalyDeckWritten = location.href;document.open();"
                "document.write(");
            wap::AppendJsonString(script, QString::fromStdString(body));
            script += QStringLiteral(");document.close();");
            guarded->runJavaScript(script, World, [this, guarded, url, since](const QVariant&) {
                if (guarded) {
                    emit Rescued(url, since.elapsed());
                }
            });
        });
}

bool RawDeckRescue::IsBinaryDeck(const QWebEngineDownloadRequest* request) {
    // A site that names the file it sends (Content-Disposition) means it to
    // be saved, not shown in its own origin: the engine then suggests that
    // name rather than the one in the address.
    const QString named = QFileInfo(request->suggestedFileName()).completeBaseName();
    const QString addressed = QFileInfo(request->url().fileName()).completeBaseName();
    return request->state() == QWebEngineDownloadRequest::DownloadRequested &&
           !request->isSavePageDownload() &&
           request->mimeType().compare(QLatin1String("application/vnd.wap.wmlc"),
                                       Qt::CaseInsensitive) == 0 &&
           !addressed.isEmpty() && named == addressed;
}

bool RawDeckRescue::TakeBinaryDeck(QWebEnginePage* page, QWebEngineDownloadRequest* request,
                                   const QUrl& url, const QElapsedTimer& since) {
    // A folder of its own, readable by the user only, in the system's
    // temporary folder.
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        return false;
    }
    EndBinaryDownload();
    shownBinary_.clear();
    binaryFolder_ = std::move(folder);
    binaryDownload_ = request;
    binaryDownloadId_ = request->id();
    binaryPage_ = page;
    binaryUrl_ = url;
    binarySince_ = since;
    request->setDownloadDirectory(binaryFolder_->path());
    request->setDownloadFileName(BinaryDeckFileName);
    for (const auto change : {&QWebEngineDownloadRequest::receivedBytesChanged,
                              &QWebEngineDownloadRequest::totalBytesChanged}) {
        connect(request, change, this, &RawDeckRescue::CheckBinaryDeck);
    }
    connect(request, &QWebEngineDownloadRequest::stateChanged, this,
            &RawDeckRescue::CheckBinaryDeck);
    request->accept();
    binaryDeadline_.start(BinaryDeckDeadlineMs);
    // A size announced up front is checked once the engine has its answer.
    QTimer::singleShot(0, this, &RawDeckRescue::CheckBinaryDeck);
    return true;
}

bool RawDeckRescue::TakeRestartedDeck(QWebEngineDownloadRequest* request) {
    if (!BinaryDeckArriving() || request->id() != binaryDownloadId_ || request == binaryDownload_) {
        return false;
    }
    request->cancel();
    FailBinaryDeck();
    return true;
}

QUrl RawDeckRescue::DropBinaryDeck() {
    const QUrl url = binaryUrl_;
    EndBinaryDownload();
    return url;
}

void RawDeckRescue::EndBinaryDownload() {
    if (QWebEngineDownloadRequest* request = binaryDownload_) {
        request->disconnect(this);
        if (!request->isFinished()) {
            request->cancel();
        }
        // Nobody else knows of it; the engine forgets it with the object.
        request->deleteLater();
    }
    binaryDeadline_.stop();
    binaryDownload_ = nullptr;
    binaryPage_ = nullptr;
    binaryUrl_.clear();
    // The folder goes with whatever the engine wrote into it.
    binaryFolder_.reset();
}

void RawDeckRescue::CheckBinaryDeck() {
    QWebEngineDownloadRequest* request = binaryDownload_;
    if (!request) {
        return;
    }
    // Too large as soon as the server says so or sends more: the rest is
    // never fetched.
    if (std::max(request->receivedBytes(), request->totalBytes()) > MaxDeckBytes) {
        ShowBinaryDeck(BinaryDeckEnd::TooLarge, {});
        return;
    }
    switch (request->state()) {
        case QWebEngineDownloadRequest::DownloadRequested:
        case QWebEngineDownloadRequest::DownloadInProgress:
            return;
        case QWebEngineDownloadRequest::DownloadCompleted: {
            QFile file(QDir(request->downloadDirectory()).filePath(request->downloadFileName()));
            if (!file.open(QIODevice::ReadOnly)) {
                break;
            }
            if (file.size() > MaxDeckBytes) {
                ShowBinaryDeck(BinaryDeckEnd::TooLarge, {});
                return;
            }
            ShowBinaryDeck(BinaryDeckEnd::Arrived, file.read(MaxDeckBytes));
            return;
        }
        case QWebEngineDownloadRequest::DownloadCancelled:
        case QWebEngineDownloadRequest::DownloadInterrupted:
            // The site or the network failed, not the deck.
            FailBinaryDeck();
            return;
    }
    ShowBinaryDeck(BinaryDeckEnd::Unreadable, {});
}

void RawDeckRescue::FailBinaryDeck() {
    const QUrl url = binaryUrl_;
    EndBinaryDownload();
    emit BinaryDeckFailed(url);
}

void RawDeckRescue::ShowBinaryDeck(BinaryDeckEnd end, const QByteArray& deck) {
    const QPointer<QWebEnginePage> page = binaryPage_;
    const QUrl url = binaryUrl_;
    const QElapsedTimer since = binarySince_;
    EndBinaryDownload();
    if (!page) {
        return;
    }
    // What the gateway would have answered for the deck: the page made from
    // it, or a page that says it is too large or cannot be read. Decoding
    // starts a process and converting takes time: neither on this thread.
    struct Made {
        QByteArray html;
        bool deck = false;
    };
    const QByteArray address = url.toString(QUrl::FullyEncoded).toUtf8();
    const std::string document = DocumentAddress(url);
    RunOffThread(
        this,
        [end, deck, address, document, decks = decks_] {
            std::optional<std::string> wml;
            if (end == BinaryDeckEnd::Arrived) {
                wml = wap::DecodeWmlc(std::string_view(deck.constData(), deck.size()));
            }
            Made made;
            if (wml) {
                const wap::ConvertedPage page = wap::ConvertWmlDeck(
                    *wml, std::string_view(address.constData(), address.size()), "utf-8");
                if (decks) {
                    decks->RecordDetails(
                        document, wap::DeckDetails(*wml, "application/vnd.wap.wmlc",
                                                   static_cast<std::size_t>(deck.size()), page));
                }
                made.html = QByteArray::fromStdString(page.body);
                made.deck = true;
            } else if (end == BinaryDeckEnd::TooLarge) {
                made.html = QByteArray::fromStdString(wap::TooLargePage(document));
            } else {
                made.html = QByteArray::fromStdString(wap::UnreadablePage(document));
            }
            if (!FitsInAddress(made.html)) {
                made.deck = false;
                made.html = QByteArray::fromStdString(wap::TooLargePage(document));
            }
            return made;
        },
        [this, page, url, since, document](const Made& made) {
            if (!page) {
                return;
            }
            if (made.deck) {
                if (decks_) {
                    decks_->Add(document);
                }
                shownBinary_ = url;
                shownSince_ = since;
            }
            // A navigation of its own, to the deck's address: the document has
            // the site's origin, its relative links lead to the site, and it
            // takes a history entry as the page would have. The page's scripts
            // run under the policy its own meta tag sets.
            page->setContent(made.html, PageType, url);
        });
}

}  // namespace tessaly
