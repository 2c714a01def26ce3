#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tessaly {

// Small file helpers over C stdio. Every failure throws Failure, so callers
// can decide step by step whether to skip it.

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens an existing file for reading. A missing file is created empty (the
// folder must exist) and the open still counts as failed, as there is nothing to read.
File OpenForReading(const std::filesystem::path& path);

// Opens a file for reading and writing in place, creating it empty when missing.
// Never truncates an existing file.
File OpenForUpdate(const std::filesystem::path& path);

// Closes the file and reports a failed flush of buffered writes.
void CloseFile(File& file);

// Fixed 128-byte records numbered from 1; bytes 0-3 hold a little-endian
// signed 32-bit value and the rest are zero.
inline constexpr long RecordSize = 128;
void WriteRecord(std::FILE* file, std::int64_t record, std::int32_t value);
std::int32_t ReadRecord(std::FILE* file, std::int64_t record);

// Reads at most `limit` bytes from the start of a file.
std::string ReadFilePrefix(const std::filesystem::path& path, std::size_t limit);

// Writes `content` to `path` as the whole file, flushes and closes it; on
// failure the partly written file is removed.
void WriteWholeFile(const std::filesystem::path& path, std::string_view content);

}  // namespace tessaly
