#pragma once

#include <QList>
#include <QString>

namespace tessaly::wap {

// Makes the two entities that only WML's DTD declares (&nbsp; and &shy;)
// into character references, since the XML reader does not read that DTD.
QString WithWmlEntities(QString text);

// A place in a deck's text (1-based).
struct TextPosition {
    qint64 line = 0;
    qint64 column = 0;
};

// The lenient reading of a deck that is not well-formed: a raw '&' that does
// not start a character or known entity reference (as in "A & B" or an
// unescaped "?a=1&b=2") becomes "&amp;". Each change is recorded.
QString WithRawAmpersandsEscaped(const QString& text, QList<TextPosition>* changes);

}  // namespace tessaly::wap
