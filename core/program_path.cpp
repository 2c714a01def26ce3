#include "program_path.h"

#include <string>

namespace tessaly {

std::filesystem::path ProgramPath(const std::filesystem::path& programFolder,
                                  std::string_view relative) {
    // Built as UTF-8 so a folder or file name in Chinese survives on every platform.
    std::u8string joined = programFolder.u8string();
    joined.reserve(joined.size() + relative.size());
    const auto separator = static_cast<char8_t>(std::filesystem::path::preferred_separator);
    for (char c : relative) {
        joined += (c == '\\') ? separator : static_cast<char8_t>(c);
    }
    return std::filesystem::path(joined);
}

}  // namespace tessaly
