// The download file-name sanitiser on any text a server or page could send.
//
// Invariant: the result is always one plain, safe file name: not empty, no
// folder separators, no control, direction or zero-width characters, none of
// < > : " | ? *, no leading dot, no trailing dot or space, never a device
// name reserved on Windows, within the length limit, and unchanged when
// sanitised again.

#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <cstring>

#include "file_names.h"
#include "fuzz_folder.h"

using tessaly::fuzz::Broken;

namespace {

void Check(const QString& proposed) {
    const QString name = tessaly::SafeFileName(proposed);
    if (name.isEmpty()) {
        Broken("an empty name");
    }
    if (name.toUtf8().size() > tessaly::MaxFileNameBytes) {
        Broken("a name over the length limit");
    }
    if (name.startsWith(u'.') || name.endsWith(u'.') || name.endsWith(u' ')) {
        Broken("a leading dot or a trailing dot or space");
    }
    for (const char32_t c : name.toUcs4()) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        const bool hidden = (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
                            (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
        const bool unsafe = c == '/' || c == '\\' || c == '<' || c == '>' || c == ':' || c == '"' ||
                            c == '|' || c == '?' || c == '*' || c == 0;
        if (control || hidden || unsafe) {
            Broken("an unsafe character");
        }
    }
    static const QRegularExpression Reserved(
        QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9]) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (Reserved.match(name).hasMatch()) {
        Broken("a device name");
    }
    if (tessaly::SafeFileName(name) != name) {
        Broken("a second pass changes the name");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* chars = reinterpret_cast<const char*>(data);
    Check(QString::fromUtf8(chars, static_cast<qsizetype>(size)));
    // The same bytes as UTF-16, which reaches unpaired surrogates too.
    QString utf16(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, size / 2 * 2);
    Check(utf16);
    return 0;
}
