#include "qt_paths.h"

#include "program_path.h"

namespace tessaly {

QString ToQString(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(text.data()),
                             static_cast<qsizetype>(text.size()));
}

std::filesystem::path ToPath(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.constData()),
                                               static_cast<std::size_t>(utf8.size())));
}

QString ProgramFilePath(const QString& programFolder, std::string_view relative) {
    return ToQString(ProgramPath(ToPath(programFolder), relative));
}

}  // namespace tessaly
