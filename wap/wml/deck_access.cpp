#include "deck_access.h"

#include <QString>
#include <QUrl>

namespace tessaly::wap {

namespace {

QUrl UrlOf(std::string_view text) {
    return QUrl(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                QUrl::StrictMode);
}

bool DomainMatches(const QString& host, QString domain) {
    while (domain.startsWith(QLatin1Char('.'))) {
        domain.remove(0, 1);
    }
    return !domain.isEmpty() && (host.compare(domain, Qt::CaseInsensitive) == 0 ||
                                 host.endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive));
}

bool PathMatches(const QString& path, const QString& prefix) {
    if (prefix.isEmpty() || prefix == QLatin1String("/") || path == prefix) {
        return true;
    }
    const QString segment = prefix.endsWith(QLatin1Char('/')) ? prefix : prefix + QLatin1Char('/');
    return path.startsWith(segment);
}

}  // namespace

bool AccessAllows(std::string_view deckUrl, std::string_view domain, std::string_view path,
                  std::string_view referrer) {
    const QUrl deck = UrlOf(deckUrl).adjusted(QUrl::RemoveFragment);
    const QUrl from = UrlOf(referrer).adjusted(QUrl::RemoveFragment);
    if (!deck.isValid() || !from.isValid() || from.host().isEmpty()) {
        return false;
    }
    if (from.scheme() == deck.scheme() && from.host() == deck.host() &&
        from.port() == deck.port() && from.path() == deck.path()) {
        return true;
    }
    const QString domainText =
        domain.empty() ? deck.host()
                       : QString::fromUtf8(domain.data(), static_cast<qsizetype>(domain.size()));
    QString pathText = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    if (!pathText.isEmpty() && !pathText.startsWith(QLatin1Char('/'))) {
        pathText = deck.resolved(QUrl(pathText)).path();
    }
    return DomainMatches(from.host(), domainText) && PathMatches(from.path(), pathText);
}

}  // namespace tessaly::wap
