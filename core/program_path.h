#pragma once

#include <filesystem>
#include <string_view>

namespace tessaly {

// Joins the program folder and a relative path written with backslashes, such
// as "\Data\Xdata.dat", exactly: no separator is added or removed, and every
// backslash becomes the platform's own separator.
std::filesystem::path ProgramPath(const std::filesystem::path& programFolder,
                                  std::string_view relative);

}  // namespace tessaly
