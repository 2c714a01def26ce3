#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace tessaly::wap {

// A deck's bytes turned into text, and the character set that was used.
struct DecodedDeck {
    QString text;
    QString charset;  // canonical name, e.g. "UTF-8", "GB18030", "Big5"
};

// The character set a deck names in its XML declaration, or empty.
QString DeclaredCharset(const QByteArray& body);

// The decoder name to use for a charset label as sites wrote it. The
// simplified Chinese labels all decode as GB18030, a superset of GB2312 and
// GBK, because sites labelled GBK text as GB2312; ISO-8859-1 decodes as
// windows-1252, as browsers do. Empty when the label is unknown.
QString CanonicalCharset(QString label);

// Decodes a deck: a byte-order mark first, then the HTTP header's charset,
// then the XML declaration's, then the one the user chose for the site
// (`userCharset`, when known), then UTF-8.
DecodedDeck DecodeDeck(const QByteArray& body, std::string_view headerCharset,
                       std::string_view userCharset = {});

}  // namespace tessaly::wap
