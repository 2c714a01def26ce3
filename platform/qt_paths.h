#pragma once

#include <QString>
#include <filesystem>
#include <string_view>

namespace tessaly {

QString ToQString(const std::filesystem::path& path);
std::filesystem::path ToPath(const QString& text);

// The program folder joined to a relative path written with backslashes, such
// as "\help\help.htm", with the platform's separators.
QString ProgramFilePath(const QString& programFolder, std::string_view relative);

}  // namespace tessaly
