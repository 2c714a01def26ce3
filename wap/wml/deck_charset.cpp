#include "deck_charset.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace tessaly::wap {

QString DeclaredCharset(const QByteArray& body) {
    // The declaration is ASCII in every charset a deck may use; look only at
    // the first line-ish part of the deck.
    const QByteArray head = body.left(200);
    if (!head.startsWith("<?xml") && !head.startsWith("\xEF\xBB\xBF<?xml")) {
        return {};
    }
    static const QRegularExpression Encoding(
        QStringLiteral(R"(^(?:\x{FEFF})?<\?xml[^>]*?encoding\s*=\s*["']([A-Za-z0-9._:-]+)["'])"));
    const auto match = Encoding.match(QString::fromLatin1(head));
    return match.hasMatch() ? match.captured(1) : QString();
}

QString CanonicalCharset(QString label) {
    label = label.trimmed().toLower();
    if (label.isEmpty()) {
        return {};
    }
    if (label == QLatin1String("utf-8") || label == QLatin1String("utf8")) {
        return QStringLiteral("UTF-8");
    }
    if (label == QLatin1String("gb2312") || label == QLatin1String("gbk") ||
        label == QLatin1String("gb18030") || label == QLatin1String("x-gbk") ||
        label == QLatin1String("cp936") || label == QLatin1String("windows-936") ||
        label == QLatin1String("euc-cn") || label == QLatin1String("csgb2312") ||
        label == QLatin1String("gb_2312-80")) {
        return QStringLiteral("GB18030");
    }
    if (label == QLatin1String("big5") || label == QLatin1String("big5-hkscs") ||
        label == QLatin1String("cn-big5") || label == QLatin1String("x-x-big5") ||
        label == QLatin1String("csbig5")) {
        return QStringLiteral("Big5");
    }
    if (label == QLatin1String("iso-8859-1") || label == QLatin1String("latin1") ||
        label == QLatin1String("iso8859-1") || label == QLatin1String("us-ascii") ||
        label == QLatin1String("ascii") || label == QLatin1String("windows-1252")) {
        return QStringLiteral("windows-1252");
    }
    // Anything else the decoder knows by name (UTF-16, Shift_JIS, ...).
    if (QStringDecoder(label.toLatin1().constData()).isValid()) {
        return label;
    }
    return {};
}

DecodedDeck DecodeDeck(const QByteArray& body, std::string_view headerCharset,
                       std::string_view userCharset) {
    DecodedDeck deck;
    QByteArray bytes = body;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        deck.charset = QStringLiteral("UTF-8");
        bytes.remove(0, 3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        deck.charset =
            bytes.startsWith("\xFF\xFE") ? QStringLiteral("UTF-16LE") : QStringLiteral("UTF-16BE");
        bytes.remove(0, 2);
    }
    if (deck.charset.isEmpty()) {
        deck.charset = CanonicalCharset(QString::fromLatin1(
            headerCharset.data(), static_cast<qsizetype>(headerCharset.size())));
    }
    if (deck.charset.isEmpty()) {
        deck.charset = CanonicalCharset(DeclaredCharset(bytes));
    }
    if (deck.charset.isEmpty()) {
        deck.charset = CanonicalCharset(
            QString::fromLatin1(userCharset.data(), static_cast<qsizetype>(userCharset.size())));
    }
    if (deck.charset.isEmpty()) {
        deck.charset = QStringLiteral("UTF-8");
    }
    QStringDecoder decoder(deck.charset.toLatin1().constData());
    deck.text = decoder.decode(bytes);
    return deck;
}

}  // namespace tessaly::wap
