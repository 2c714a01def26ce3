#include "raw_deck_rescue.h"

#include <QFile>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include "json_text.h"
#include "rendered_decks.h"
#include "wml_conversion.h"

namespace tessaly {

namespace {

constexpr quint32 World = QWebEngineScript::ApplicationWorld;
constexpr int PollIntervalMs = 20;
constexpr int PollAttempts = 30000 / PollIntervalMs;

// What the engine showed: a deck as source text, not yet replaced. The mark
// lives in the isolated world, which the page's own scripts cannot reach.
const QString ProbeScript =
    QStringLiteral("(window.tessalyDeckWritten === location.href) ? '' : document.contentType");

// Reads the document's address again, same origin with the site's cookies,
// and leaves the bytes (base64) and the charset where the polls find them.
QString FetchScript() {
    return QStringLiteral(
               "window.tessalyDeckFetch = {state: 'pending'};"
               "fetch(location.href, {credentials: 'include'}).then(async (r) => {"
               "  const length = Number(r.headers.get('Content-Length') || 0);"
               "  if (!r.ok || length > %1) throw new Error('unusable');"
               "  const bytes = new Uint8Array(await r.arrayBuffer());"
               "  if (bytes.length > %1) throw new Error('too large');"
               "  let text = '';"
               "  for (let i = 0; i < bytes.length; i += 32768)"
               "    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));"
               "  const type = r.headers.get('Content-Type') || '';"
               "  const charset = /charset\\s*=\\s*\"?([^\";\\s]+)/i.exec(type);"
               "  window.tessalyDeckFetch = {state: 'done', body: btoa(text),"
               "      type: type.split(';')[0].trim().toLowerCase(),"
               "      charset: charset ? charset[1] : ''};"
               "}).catch(() => { window.tessalyDeckFetch = {state: 'failed'}; });")
        .arg(RawDeckRescue::MaxDeckBytes);
}

const QString PollScript = QStringLiteral(
    "(function(){const f = window.tessalyDeckFetch;"
    "if (f && f.state !== 'pending') delete window.tessalyDeckFetch; return f;})()");

bool IsRawDeckType(const QString& type) {
    return type.compare(QLatin1String("text/vnd.wap.wml"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void RawDeckRescue::LoadSucceeded(QWebEnginePage* page, const QUrl& url) {
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

void RawDeckRescue::FetchOverNetwork(QWebEnginePage* page, const QUrl& url,
                                     const QElapsedTimer& since) {
    page->runJavaScript(FetchScript(), World);
    PollFetch(page, url, since, 0);
}

void RawDeckRescue::PollFetch(QPointer<QWebEnginePage> page, const QUrl& url,
                              const QElapsedTimer& since, int attempt) {
    if (!page || page->url() != url || attempt > PollAttempts) {
        return;
    }
    page->runJavaScript(PollScript, World, [=, this](const QVariant& answer) {
        if (!page || page->url() != url) {
            return;
        }
        const QVariantMap fetched = answer.toMap();
        const QString state = fetched.value(QStringLiteral("state")).toString();
        if (state == QLatin1String("pending")) {
            QTimer::singleShot(PollIntervalMs, this,
                               [=, this] { PollFetch(page, url, since, attempt + 1); });
            return;
        }
        // A site may answer the second request with something else: only a
        // deck is written over the page.
        if (state != QLatin1String("done") ||
            !IsRawDeckType(fetched.value(QStringLiteral("type")).toString())) {
            return;
        }
        Show(page, url,
             QByteArray::fromBase64(fetched.value(QStringLiteral("body")).toString().toLatin1()),
             fetched.value(QStringLiteral("charset")).toString(), since);
    });
}

void RawDeckRescue::Show(QWebEnginePage* page, const QUrl& url, const QByteArray& deck,
                         const QString& charset, const QElapsedTimer& since) {
    const QByteArray address = url.toString(QUrl::FullyEncoded).toUtf8();
    const wap::ConvertedPage converted = wap::ConvertWmlDeck(
        std::string_view(deck.constData(), deck.size()),
        std::string_view(address.constData(), address.size()), charset.toStdString());
    if (decks_) {
        decks_->Add(url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded).toStdString());
    }
    // The page replaces the source in the same document: no navigation, so
    // no history entry and no second load. Its scripts run in the page's own
    // world under the policy and nonce the page carries.
    QString script = QStringLiteral(
        "window.tessalyDeckWritten = location.href;document.open();"
        "document.write(");
    wap::AppendJsonString(script, QString::fromStdString(converted.body));
    script += QStringLiteral(");document.close();");
    QPointer<QWebEnginePage> guarded(page);
    page->runJavaScript(script, World, [this, guarded, url, since](const QVariant&) {
        if (guarded) {
            emit Rescued(url, since.elapsed());
        }
    });
}

}  // namespace tessaly
