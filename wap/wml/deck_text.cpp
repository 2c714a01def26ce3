#include "deck_text.h"

namespace tessaly::wap {

QString WithWmlEntities(QString text) {
    text.replace(QLatin1String("&nbsp;"), QLatin1String("&#160;"));
    text.replace(QLatin1String("&shy;"), QLatin1String("&#173;"));
    return text;
}

namespace {

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-') ||
           c == QLatin1Char('.') || c == QLatin1Char(':');
}

// Longest reference looked for after an '&', its ';' included.
constexpr qsizetype MaxReferenceLength = 12;

// Whether text[at] (an '&') starts a reference the XML reader accepts.
// declaresEntities: whether the deck has a DTD subset that may declare its own.
// Looks at most MaxReferenceLength characters ahead, so the whole reading
// stays linear in the deck's size.
bool StartsReference(const QString& text, qsizetype at, bool declaresEntities) {
    static const QLatin1String Known[] = {QLatin1String("amp"), QLatin1String("lt"),
                                          QLatin1String("gt"), QLatin1String("quot"),
                                          QLatin1String("apos")};
    const qsizetype end =
        QStringView(text).mid(at + 1, MaxReferenceLength).indexOf(QLatin1Char(';'));
    if (end < 0) {
        return false;
    }
    const qsizetype length = end + 1;  // from the '&' to the ';'
    const QStringView name = QStringView(text).mid(at + 1, length - 1);
    if (name.isEmpty()) {
        return false;
    }
    if (name.startsWith(QLatin1Char('#'))) {
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x'));
        const QStringView digits = name.mid(hex ? 2 : 1);
        bool ok = false;
        (void)digits.toUInt(&ok, hex ? 16 : 10);
        return ok;
    }
    for (const auto& entity : Known) {
        if (name == entity) {
            return true;
        }
    }
    for (QChar c : name) {
        if (!IsNameChar(c)) {
            return false;
        }
    }
    // An entity the deck's own DTD subset may declare: leave it to the reader.
    return declaresEntities;
}

}  // namespace

QString WithRawAmpersandsEscaped(const QString& text, QList<TextPosition>* changes) {
    QString out;
    out.reserve(text.size() + 64);
    qint64 line = 1;
    qint64 column = 1;
    const bool declaresEntities = text.contains(QLatin1String("<!ENTITY"));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('&') && !StartsReference(text, i, declaresEntities)) {
            out += QLatin1String("&amp;");
            if (changes) {
                changes->append({line, column});
            }
        } else {
            out += c;
        }
        if (c == QLatin1Char('\n')) {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return out;
}

}  // namespace tessaly::wap
