#include "xhtml_check.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include "deck_charset.h"

namespace tessaly::wap {

namespace {

QByteArray Bytes(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::optional<XmlProblem> XhtmlProblem(std::string_view body, std::string_view charset) {
    const QByteArray bytes = Bytes(body);
    const QString decoder = CanonicalCharset(QString::fromLatin1(Bytes(charset)));
    QXmlStreamReader reader;
    if (!decoder.isEmpty() && !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") &&
        !bytes.startsWith("\xFE\xFF")) {
        // A charset named outside the document wins over its declaration,
        // as in the engine; the reader then takes the text as it is.
        QStringDecoder decode(decoder.toLatin1().constData());
        reader.addData(QString(decode.decode(bytes)));
    } else {
        reader.addData(bytes);
    }
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (!reader.hasError()) {
        return std::nullopt;
    }
    return XmlProblem{reader.lineNumber(), reader.columnNumber()};
}

std::string XhtmlCharset(std::string_view body, std::string_view charset) {
    if (!charset.empty()) {
        return std::string(charset);
    }
    return DeclaredCharset(Bytes(body.substr(0, 256))).toStdString();
}

std::string XhtmlText(std::string_view body, std::string_view charset) {
    DecodedDeck decoded = DecodeDeck(Bytes(body), charset);
    return decoded.text.toStdString();
}

}  // namespace tessaly::wap
