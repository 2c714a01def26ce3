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

// Whether text[at] (an '&') starts a reference the XML reader accepts.
bool StartsReference(const QString& text, qsizetype at) {
    static const QLatin1String known[] = {QLatin1String("amp"), QLatin1String("lt"),
                                          QLatin1String("gt"), QLatin1String("quot"),
                                          QLatin1String("apos")};
    const qsizetype end = text.indexOf(QLatin1Char(';'), at + 1);
    if (end < 0 || end - at > 12) {
        return false;
    }
    const QStringView name = QStringView(text).mid(at + 1, end - at - 1);
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
    for (const auto& entity : known) {
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
    return text.contains(QLatin1String("<!ENTITY"));
}

}  // namespace

QString WithRawAmpersandsEscaped(const QString& text, QList<TextPosition>* changes) {
    QString out;
    out.reserve(text.size() + 64);
    qint64 line = 1;
    qint64 column = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('&') && !StartsReference(text, i)) {
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
