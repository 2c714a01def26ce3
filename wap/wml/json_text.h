#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tessaly::wap {

// JSON written straight into text, for the data a page's runtime reads from
// inside a <script> element. '<', '>' and '&' are written as \u escapes, so
// the text can never close the element or open a comment there.
void AppendJsonString(QString& out, QStringView text);

// One JSON object, written member by member.
class JsonObjectText {
public:
    JsonObjectText& Add(QStringView key, QStringView value);
    JsonObjectText& AddNumber(QStringView key, int value);
    JsonObjectText& AddFlag(QStringView key, bool value);
    // value is JSON already (an object or array written elsewhere).
    JsonObjectText& AddJson(QStringView key, QStringView value);
    QString Text() const { return text_ + QLatin1Char('}'); }

private:
    void Key(QStringView key);

    QString text_ = QStringLiteral("{");
};

// A JSON array of pieces that are JSON already.
QString JsonArrayText(const QStringList& items);

}  // namespace tessaly::wap
