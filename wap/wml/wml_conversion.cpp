#include "wml_conversion.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "deck_charset.h"
#include "deck_reader.h"
#include "deck_text.h"
#include "page_writer.h"

namespace tessaly::wap {

ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view charset,
                             RuntimeDelivery runtime) {
    const QUrl address = QUrl(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())))
                             .adjusted(QUrl::RemoveFragment);
    const DecodedDeck decoded =
        DecodeDeck(QByteArray(body.data(), static_cast<qsizetype>(body.size())), charset);
    const QString text = WithWmlEntities(decoded.text);
    const QString nonce = NewNonce();

    ReadDeck deck = ReadWmlDeck(text, address);
    QList<TextPosition> repairs;
    if (!deck.ok) {
        // The lenient reading: only a raw '&' is mended, and only when that
        // makes the whole deck readable.
        ReadDeck mended = ReadWmlDeck(WithRawAmpersandsEscaped(text, &repairs), address);
        if (mended.ok && !repairs.isEmpty()) {
            deck = std::move(mended);
        } else {
            repairs.clear();
        }
    }
    const QString page = deck.ok ? WriteDeckPage(deck, decoded.charset, nonce, repairs, runtime)
                                 : WriteErrorPage(deck, decoded.text, nonce);
    ConvertedPage converted;
    converted.contentType = "text/html; charset=utf-8";
    converted.body = page.toStdString();
    converted.headers.emplace_back("Content-Security-Policy",
                                   ContentSecurityPolicy(nonce).toStdString());
    converted.headers.emplace_back("X-Content-Type-Options", "nosniff");
    converted.restricted = deck.ok && deck.restricted;
    converted.accessDomain = deck.accessDomain.toStdString();
    converted.accessPath = deck.accessPath.toStdString();
    return converted;
}

}  // namespace tessaly::wap
