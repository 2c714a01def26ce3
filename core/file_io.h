#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Small file helpers over POSIX and C stdio. Every failure throws Failure, so
// callers can decide step by step whether to skip it.
//
// Only regular files are ever read or written: a FIFO, a device or a folder
// where a file is expected is a failed open, and opens never block, so a
// planted FIFO cannot hang the program.

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for reading and writing in place, creating it empty when missing.
// Never truncates an existing file.
File OpenForUpdate(const std::filesystem::path& path);

// Closes the file and reports a failed flush of buffered writes.
void CloseFile(File& file);

// Fixed 128-byte records numbered from 1; bytes 0-3 hold a little-endian
// signed 32-bit value and the rest are zero.
inline constexpr long RecordSize = 128;
void WriteRecord(std::FILE* file, std::int64_t record, std::int32_t value);

// A file of such records opened for reading, in the fewest system calls: open
// (never blocking) and fstat to refuse what is not a regular file, one pread
// per record, and the close. Made for reading one threshold on every progress
// refresh. A missing file is created empty (the folder must exist, and a
// dangling link is not followed to create one) and the open still fails, as
// there is nothing to read.
class RecordReader {
public:
    explicit RecordReader(const std::filesystem::path& path);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // The value in bytes 0-3 of `record`; throws when they are not all in the file.
    std::int32_t Read(std::int64_t record) const;

private:
    int fd_;
};

// Reads at most `limit` bytes from the start of a file. Empty when there is
// nothing at all at `path`; throws when something is there that cannot be read
// as a file (no permission, a folder, a FIFO, a link that leads nowhere).
std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t limit);

// Replaces the whole content of the file at `path` so that, whatever happens,
// the file holds either its old content or the new one:
// - an existing file must be one that may be written: open for writing must
//   succeed and its owner's write permission must be set (the read-only mark,
//   which even root's saves respect); it keeps its mode and, where allowed,
//   its owner;
// - a file behind a link is replaced where it lies, and the link stays;
// - the new content goes to a file of a fresh name beside it, created
//   exclusively and never through a link, synced to disk, then renamed over
//   the old one, and the folder is synced;
// - temporary files that an interrupted replacement left behind are cleared.
void ReplaceFileContent(const std::filesystem::path& path, std::string_view content);

// Copies a regular file to `asideBase`, or to `asideBase`.1, .2 ... when that
// name is taken: an earlier copy is never replaced. Returns the copy's path.
std::filesystem::path CopyAside(const std::filesystem::path& source,
                                const std::filesystem::path& asideBase);

}  // namespace tessaly
