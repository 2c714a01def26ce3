#include "page_fetch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <chrono>
#include <future>
#include <memory>

#include "json_text.h"

namespace tessaly {

namespace {

constexpr quint32 World = QWebEngineScript::ApplicationWorld;
constexpr int PollIntervalMs = 20;
constexpr int PollAttempts = 30000 / PollIntervalMs;
// How long the units of one deck may take to come, all together.
constexpr auto ScriptsDeadline = std::chrono::seconds(10);

QString JsonString(const QString& text) {
    QString json;
    wap::AppendJsonString(json, text);
    return json;
}

// Starts the fetch; its answer (the bytes as base64) waits under key for
// the polls.
QString FetchScript(const QString& address, const QString& key, qsizetype maxBytes) {
    return QStringLiteral(
               "(function (address, key) {"
               "const store = window.tessalyFetches || (window.tessalyFetches = {});"
               "store[key] = {state: 'pending'};"
               "fetch(address, {credentials: 'include'}).then(async (r) => {"
               "  const length = Number(r.headers.get('Content-Length') || 0);"
               "  if (!r.ok || length > %1) throw new Error('unusable');"
               "  const bytes = new Uint8Array(await r.arrayBuffer());"
               "  if (bytes.length > %1) throw new Error('too large');"
               "  let text = '';"
               "  for (let i = 0; i < bytes.length; i += 32768)"
               "    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));"
               "  const type = r.headers.get('Content-Type') || '';"
               "  const charset = /charset\\s*=\\s*\"?([^\";\\s]+)/i.exec(type);"
               "  store[key] = {state: 'done', body: btoa(text),"
               "      type: type.split(';')[0].trim().toLowerCase(),"
               "      charset: charset ? charset[1] : ''};"
               "}).catch(() => { store[key] = {state: 'failed'}; });"
               "})(%2, %3)")
        .arg(maxBytes)
        .arg(JsonString(address), JsonString(key));
}

QString PollScript(const QString& key) {
    return QStringLiteral(
               "(function (key) { const store = window.tessalyFetches || {};"
               "const f = store[key]; if (f && f.state !== 'pending') delete store[key];"
               "return f; })(%1)")
        .arg(JsonString(key));
}

void Poll(QPointer<QWebEnginePage> page, const QUrl& pageUrl, const QString& key, int attempt,
          std::function<void(std::optional<PageFetched>)> done) {
    if (!page || page->url() != pageUrl || attempt > PollAttempts) {
        done(std::nullopt);
        return;
    }
    page->runJavaScript(PollScript(key), World, [=](const QVariant& answer) {
        if (!page || page->url() != pageUrl) {
            done(std::nullopt);
            return;
        }
        const QVariantMap fetched = answer.toMap();
        const QString state = fetched.value(QStringLiteral("state")).toString();
        if (state == QLatin1String("pending")) {
            QTimer::singleShot(PollIntervalMs, page,
                               [=] { Poll(page, pageUrl, key, attempt + 1, done); });
            return;
        }
        if (state != QLatin1String("done")) {
            done(std::nullopt);
            return;
        }
        done(PageFetched{
            QByteArray::fromBase64(fetched.value(QStringLiteral("body")).toString().toLatin1()),
            fetched.value(QStringLiteral("type")).toString(),
            fetched.value(QStringLiteral("charset")).toString()});
    });
}

std::optional<wap::FetchedScript> AsScript(const std::optional<PageFetched>& fetched) {
    if (!fetched) {
        return std::nullopt;
    }
    std::string type = fetched->type.toStdString();
    if (!fetched->charset.isEmpty()) {
        type += "; charset=" + fetched->charset.toStdString();
    }
    return wap::FetchedScript{fetched->body.toStdString(), type};
}

}  // namespace

void FetchThroughPage(QWebEnginePage* page, const QUrl& pageUrl, const QString& address,
                      qsizetype maxBytes, std::function<void(std::optional<PageFetched>)> done) {
    const QString key = QString::number(QRandomGenerator::global()->generate64(), 36);
    page->runJavaScript(FetchScript(address, key, maxBytes), World);
    Poll(QPointer<QWebEnginePage>(page), pageUrl, key, 0, std::move(done));
}

wap::ScriptFetcher ScriptsThroughPage(QWebEnginePage* page, const QUrl& deck) {
    QPointer<QWebEnginePage> guarded(page);
    const auto deadline = std::chrono::steady_clock::now() + ScriptsDeadline;
    return
        [guarded, deck, deadline](const std::string& address) -> std::optional<wap::FetchedScript> {
            const QUrl url(QString::fromStdString(address));
            if (url.scheme() != deck.scheme() || url.host() != deck.host() ||
                url.port() != deck.port()) {
                return std::nullopt;  // the page's own site only
            }
            auto answer = std::make_shared<std::promise<std::optional<PageFetched>>>();
            std::future<std::optional<PageFetched>> future = answer->get_future();
            // Asked of the interface thread, which alone may look at the page.
            const bool asked = QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guarded, deck, url, answer] {
                    if (!guarded) {
                        answer->set_value(std::nullopt);
                        return;
                    }
                    FetchThroughPage(guarded, deck, url.toString(QUrl::FullyEncoded),
                                     qsizetype(wap::MaxScriptBytes),
                                     [answer](std::optional<PageFetched> fetched) {
                                         answer->set_value(std::move(fetched));
                                     });
                },
                Qt::QueuedConnection);
            if (!asked || future.wait_until(deadline) != std::future_status::ready) {
                return std::nullopt;
            }
            return AsScript(future.get());
        };
}

wap::ScriptFetcher ScriptsBesideLocalDeck(const QUrl& deck) {
    const QString folder = QFileInfo(deck.toLocalFile()).absolutePath();
    return [folder](const std::string& address) -> std::optional<wap::FetchedScript> {
        const QUrl url(QString::fromStdString(address));
        if (!url.isLocalFile()) {
            return std::nullopt;
        }
        const QString path = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
        const bool source = path.endsWith(QLatin1String(".wmls"), Qt::CaseInsensitive);
        const bool compiled = path.endsWith(QLatin1String(".wmlsc"), Qt::CaseInsensitive);
        if (!path.startsWith(folder + QLatin1Char('/')) || !(source || compiled)) {
            return std::nullopt;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(wap::MaxScriptBytes)) {
            return std::nullopt;
        }
        return wap::FetchedScript{file.readAll().toStdString(),
                                  source ? wap::WmlScriptSourceType : wap::WmlScriptUnitType};
    };
}

}  // namespace tessaly
