#include "wml_conversion.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "deck_charset.h"
#include "deck_reader.h"
#include "deck_text.h"
#include "page_writer.h"
#include "rendered_decks.h"

namespace tessaly::wap {

ConvertedPage ConvertWmlDeck(std::string_view body, std::string_view url, std::string_view charset,
                             RuntimeDelivery runtime, std::string_view userCharset,
                             const ScriptFetcher& scripts) {
    const QUrl address = QUrl(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())))
                             .adjusted(QUrl::RemoveFragment);
    const DecodedDeck decoded = DecodeDeck(
        QByteArray(body.data(), static_cast<qsizetype>(body.size())), charset, userCharset);
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
    if (deck.ok && scripts && !deck.scriptUnits.isEmpty()) {
        std::vector<std::string> addresses;
        for (const QString& address : deck.scriptUnits) {
            addresses.push_back(address.toStdString());
        }
        deck.dataMembers.chop(1);
        deck.dataMembers +=
            QLatin1Char(',') +
            QString::fromStdString(UnitsMember(GatherScriptUnits(addresses, scripts))) +
            QLatin1Char('}');
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
    converted.charset = decoded.charset.toStdString();
    converted.cards = deck.ok ? deck.cards : 0;
    return converted;
}

DocumentDetails DeckDetails(std::string_view deck, std::string_view contentType, std::size_t bytes,
                            const ConvertedPage& page) {
    DocumentDetails details;
    details.contentType = std::string(contentType);
    details.charset = page.charset;
    details.bytes = bytes;
    details.cards = page.cards;
    // The source in UTF-8, read the way the deck was.
    details.source =
        DecodeDeck(QByteArray(deck.data(), static_cast<qsizetype>(deck.size())), page.charset)
            .text.toStdString();
    return details;
}

}  // namespace tessaly::wap
