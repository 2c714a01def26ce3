#include "wml_conversion.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QXmlStreamReader>

namespace tessaly::wap {

namespace {

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// Links a deck may carry: an anchor's or a go task's address, resolved
// against the deck; only web addresses and card names are kept.
QString SafeLink(const QString& href, const QUrl& base) {
    const QUrl target = base.resolved(QUrl(href.trimmed()));
    const QString scheme = target.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return {};
    }
    return target.toString(QUrl::FullyEncoded);
}

}  // namespace

ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view) {
    const QUrl base(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())));
    QXmlStreamReader reader(QByteArray(body.data(), static_cast<qsizetype>(body.size())));
    QString title;
    QString content;
    QString openLink;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto name = reader.name();
            if (name == QLatin1String("card")) {
                const QString cardTitle = reader.attributes().value("title").toString();
                if (title.isEmpty()) {
                    title = cardTitle;
                }
                content += QStringLiteral("<h3>%1</h3>").arg(Escaped(cardTitle));
            } else if (name == QLatin1String("p")) {
                content += QStringLiteral("<p>");
            } else if (name == QLatin1String("br")) {
                content += QStringLiteral("<br>");
            } else if (name == QLatin1String("a") || name == QLatin1String("go")) {
                const QString link = SafeLink(reader.attributes().value("href").toString(), base);
                if (!link.isEmpty() && openLink.isEmpty()) {
                    openLink = link;
                    content += QStringLiteral("<a href=\"%1\">").arg(Escaped(link));
                }
            }
        } else if (reader.isEndElement()) {
            const auto name = reader.name();
            if ((name == QLatin1String("a") || name == QLatin1String("anchor")) &&
                !openLink.isEmpty()) {
                content += QStringLiteral("</a>");
                openLink.clear();
            } else if (name == QLatin1String("p")) {
                content += QStringLiteral("</p>");
            }
        } else if (reader.isCharacters()) {
            content += Escaped(reader.text().toString());
        }
    }
    if (!openLink.isEmpty()) {
        content += QStringLiteral("</a>");
    }
    const QString page =
        QStringLiteral(
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
            "<body>%2</body></html>")
            .arg(Escaped(title), content);
    ConvertedPage converted;
    converted.contentType = "text/html; charset=utf-8";
    converted.body = page.toStdString();
    converted.headers.emplace_back("Content-Security-Policy", "script-src 'none'");
    return converted;
}

}  // namespace tessaly::wap
