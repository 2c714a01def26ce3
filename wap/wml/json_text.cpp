#include "json_text.h"

#include <QStringList>

namespace tessaly::wap {

void AppendJsonString(QString& out, QStringView text) {
    static const char Hex[] = "0123456789abcdef";
    out += QLatin1Char('"');
    qsizetype plain = 0;  // start of the run of characters copied as they are
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool escape = c < 0x20 || c == u'"' || c == u'\\' || c == u'<' || c == u'>' ||
                            c == u'&' || c == 0x2028 || c == 0x2029;
        if (!escape) {
            continue;
        }
        out += text.mid(plain, i - plain);
        plain = i + 1;
        if (c == u'"' || c == u'\\') {
            out += QLatin1Char('\\');
            out += QChar(c);
        } else {
            out += QLatin1String("\\u");
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += QLatin1Char(Hex[(c >> shift) & 0xF]);
            }
        }
    }
    out += text.mid(plain);
    out += QLatin1Char('"');
}

void JsonObjectText::Key(QStringView key) {
    if (text_.size() > 1) {
        text_ += QLatin1Char(',');
    }
    AppendJsonString(text_, key);
    text_ += QLatin1Char(':');
}

JsonObjectText& JsonObjectText::Add(QStringView key, QStringView value) {
    Key(key);
    AppendJsonString(text_, value);
    return *this;
}

JsonObjectText& JsonObjectText::AddNumber(QStringView key, int value) {
    Key(key);
    text_ += QString::number(value);
    return *this;
}

JsonObjectText& JsonObjectText::AddFlag(QStringView key, bool value) {
    Key(key);
    text_ += value ? QLatin1String("true") : QLatin1String("false");
    return *this;
}

JsonObjectText& JsonObjectText::AddJson(QStringView key, QStringView value) {
    Key(key);
    text_ += value;
    return *this;
}

QString JsonArrayText(const QStringList& items) {
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

}  // namespace tessaly::wap
