#include "file_names.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

namespace tessaly {

namespace {

constexpr int MaxNumber = 9999;
// Longer "extensions" are just a dot inside a long name.
constexpr int MaxExtensionLength = 16;

bool IsDropped(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        return true;  // C0 and C1 controls, DEL
    }
    // Direction marks and overrides would let "gpj.exe" display as "exe.jpg";
    // byte order marks and zero-width characters hide in plain sight.
    return c == 0x200B || c == 0x200C || c == 0x200D || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool IsReplaced(char32_t c) {
    switch (c) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '|':
        case '?':
        case '*':
            return true;
        default:
            return false;
    }
}

QString Trimmed(QString name) {
    qsizetype start = 0;
    while (start < name.size() && (name[start] == u'.' || name[start].isSpace())) {
        ++start;
    }
    qsizetype end = name.size();
    while (end > start && (name[end - 1] == u'.' || name[end - 1].isSpace())) {
        --end;
    }
    return name.mid(start, end - start);
}

bool IsReservedOnWindows(const QString& name) {
    // Windows maps these to devices whatever follows the first dot, and
    // ignores spaces before it.
    static const QRegularExpression Reserved(
        QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9]) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return Reserved.match(name).hasMatch();
}

// The extension with its dot, or empty: only a short tail after the last dot
// counts, and a name that is all extension has none.
QString ExtensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot - 1 > MaxExtensionLength || dot == name.size() - 1) {
        return {};
    }
    return name.mid(dot);
}

// The longest prefix of text that fits in maxBytes of UTF-8, never splitting
// a character.
QString Utf8Prefix(const QString& text, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t c = text[i].isHighSurrogate() && i + 1 < text.size()
                               ? QChar::surrogateToUcs4(text[i], text[i + 1])
                               : text[i].unicode();
        const int width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + width > maxBytes) {
            break;
        }
        bytes += width;
        i += c >= 0x10000 ? 2 : 1;
    }
    return text.left(i);
}

// base + extension within MaxFileNameBytes, shortening the base.
QString Fit(const QString& base, const QString& extension) {
    const qsizetype room = MaxFileNameBytes - extension.toUtf8().size();
    QString fitted = Utf8Prefix(base, room);
    if (fitted.size() < base.size()) {
        fitted = Trimmed(fitted);
    }
    return fitted + extension;
}

}  // namespace

QString SafeFileName(const QString& proposed) {
    QString name = proposed;
    const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    name = name.mid(slash + 1);

    QString cleaned;
    cleaned.reserve(name.size());
    for (const char32_t c : name.toUcs4()) {
        if (IsDropped(c)) {
            continue;
        }
        if (IsReplaced(c)) {
            cleaned += u'_';
        } else {
            cleaned += QString::fromUcs4(&c, 1);
        }
    }
    name = Trimmed(cleaned);
    if (name.isEmpty()) {
        return QStringLiteral("download");
    }
    if (IsReservedOnWindows(name)) {
        name.prepend(u'_');
    }
    const QString extension = ExtensionOf(name);
    name = Fit(name.left(name.size() - extension.size()), extension);
    name = Trimmed(name);
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString NumberedFileName(const QString& fileName, int n) {
    if (n == 0) {
        return fileName;
    }
    const QString extension = ExtensionOf(fileName);
    const QString base = fileName.left(fileName.size() - extension.size());
    const QString suffix = QStringLiteral(" (%1)").arg(n) + extension;
    return Fit(base, suffix);
}

QString FreeFilePath(const QString& folder, const QString& fileName,
                     const std::function<bool(const QString& path)>& taken) {
    // A name that already carries a number ("game (2).jar") counts on from
    // it rather than becoming "game (2) (1).jar".
    static const QRegularExpression Numbered(QStringLiteral("^(.+) \\(([1-9][0-9]{0,3})\\)$"));
    const QString extension = ExtensionOf(fileName);
    QString stem = fileName;
    int first = 0;
    const QRegularExpressionMatch match =
        Numbered.match(fileName.left(fileName.size() - extension.size()));
    if (match.hasMatch()) {
        stem = match.captured(1) + extension;
        first = match.captured(2).toInt();
    }
    const QDir dir(folder);
    for (int n = first; n <= MaxNumber; ++n) {
        const QString path = dir.filePath(NumberedFileName(stem, n));
        if (!taken(path) && !taken(PartialPath(path))) {
            return path;
        }
    }
    return {};
}

QString PartialPath(const QString& finalPath) {
    return finalPath + QStringLiteral(".part");
}

}  // namespace tessaly
