#include "start_page_scheme.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <optional>

#include "rendered_decks.h"
#include "wml_conversion.h"

namespace tessaly {

void RegisterStartPageScheme() {
    QWebEngineUrlScheme scheme(StartPageScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // The built-in site is a web site like any other: its pages may not read
    // local files, and may link to sites (local content could not).
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

namespace {

// The sample site's scripts, for its decks to carry: they come from the
// program's resources, under the site's own host only.
std::optional<wap::FetchedScript> SampleSiteScript(const std::string& address) {
    const QUrl url(QString::fromStdString(address));
    const QString path = QDir::cleanPath(url.path());
    if (url.scheme() != QLatin1String(StartPageScheme) ||
        url.host() != QLatin1String(StartPageHost) || !path.startsWith(QLatin1Char('/')) ||
        !path.endsWith(QLatin1String(".wmls"))) {
        return std::nullopt;
    }
    QFile file(QStringLiteral(":/") + StartPageHost + path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(wap::MaxScriptBytes)) {
        return std::nullopt;
    }
    return wap::FetchedScript{file.readAll().toStdString(), wap::WmlScriptSourceType};
}

}  // namespace

void StartPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    QString path = QDir::cleanPath(url.path());
    if (path.isEmpty() || path == QLatin1String("/")) {
        path = QStringLiteral("/index.html");
    }
    // Only the sample site's own files, under its own host: the program's
    // other resources (and the toolkit's) are not for pages to read.
    auto* file = new QFile(QStringLiteral(":/") + StartPageHost + path, job);
    if (url.host() != QLatin1String(StartPageHost) || !path.startsWith(QLatin1Char('/')) ||
        !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    if (path.endsWith(QLatin1String(".wml"))) {
        // A WML deck of the sample site is shown as the page made from it.
        const QByteArray deck = file->readAll();
        const QString address = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery).toString();
        const wap::ConvertedPage page = wap::ConvertWmlDeck(
            std::string_view(deck.constData(), deck.size()), address.toStdString(), "",
            wap::RuntimeDelivery::InPage, {}, SampleSiteScript);
        if (renderedDecks_) {
            const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
            renderedDecks_->Add(address);
            const std::string_view sent(deck.constData(), static_cast<std::size_t>(deck.size()));
            renderedDecks_->RecordDetails(
                address, wap::DeckDetails(sent, "text/vnd.wap.wml", sent.size(), page));
        }
        auto* body = new QBuffer(job);
        body->setData(page.body.data(), static_cast<qsizetype>(page.body.size()));
        job->reply(QByteArray::fromStdString(page.contentType), body);
        return;
    }
    static const QMimeDatabase MimeTypes;
    QByteArray mime =
        MimeTypes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8();
    if (mime == "text/html") {
        mime += ";charset=utf-8";
    }
    job->reply(mime, file);
}

}  // namespace tessaly
