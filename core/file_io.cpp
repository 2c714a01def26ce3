#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "failure.h"

namespace tessaly {

namespace {

// A POSIX file descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        Descriptor old(std::exchange(fd_, other.Release()));
        return *this;
    }

    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

    // Closes now and reports whether the close, and so the last write, succeeded.
    bool Close() { return ::close(Release()) == 0; }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path) {
    throw Failure(what + ": " + path.string());
}

// Opens `path` without ever blocking and keeps it only when it is a regular
// file; it stays non-blocking, which changes nothing for a regular file. An
// invalid descriptor on failure, with errno telling why (EINVAL for something
// that is not a regular file).
Descriptor OpenRegularNonBlocking(const std::filesystem::path& path, int flags, mode_t mode = 0) {
    Descriptor fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode));
    if (!fd) {
        return fd;
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return Descriptor();
    }
    return fd;
}

// The same, then made blocking again for the stdio streams built on it.
Descriptor OpenRegular(const std::filesystem::path& path, int flags, mode_t mode = 0) {
    Descriptor fd = OpenRegularNonBlocking(path, flags, mode);
    if (!fd) {
        return fd;
    }
    // A regular file never blocks anyway; later reads and writes go the ordinary way.
    const int fileFlags = ::fcntl(fd.Get(), F_GETFL);
    if (fileFlags == -1 || ::fcntl(fd.Get(), F_SETFL, fileFlags & ~O_NONBLOCK) == -1) {
        return Descriptor();
    }
    return fd;
}

// Creates a file that does not exist yet: never an existing one, never at the
// end of a link.
Descriptor CreateExclusive(const std::filesystem::path& path, mode_t mode) {
    return Descriptor(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
}

File ToStdioFile(Descriptor fd, const char* mode, const std::filesystem::path& path) {
    std::FILE* file = ::fdopen(fd.Get(), mode);
    if (file == nullptr) {
        Fail("cannot open", path);
    }
    fd.Release();
    return File(file);
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            throw Failure("write failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Reads up to `limit` bytes; fewer only at the end of the file.
std::string ReadUpTo(int fd, std::size_t limit) {
    std::string content(limit, '\0');
    std::size_t total = 0;
    while (total < limit) {
        const ssize_t got = ::read(fd, content.data() + total, limit - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw Failure("read failed");
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    content.resize(total);
    return content;
}

// Fills a file just created with what `write` writes to it, puts it on the
// disk and closes it. The file is removed again when any of that fails, and
// the failure thrown.
template <class Write>
void FillNewFile(Descriptor& fd, const std::filesystem::path& path, Write&& write) {
    bool done = false;
    try {
        write(fd.Get());
        done = ::fsync(fd.Get()) == 0;
    } catch (const Failure&) {
    }
    done = fd.Close() && done;
    if (!done) {
        ::unlink(path.c_str());
        Fail("cannot write", path);
    }
}

// Whether `name` is one this unit gives temporary files for `base`:
// base.new (the fixed name of earlier versions) or base.new.<digits>.<digits>.
bool IsTemporaryName(const std::string& name, const std::string& base) {
    const std::string prefix = base + ".new";
    if (name == prefix) {
        return true;
    }
    if (!name.starts_with(prefix + ".")) {
        return false;
    }
    const std::string rest = name.substr(prefix.size() + 1);
    return !rest.empty() && rest.find_first_not_of("0123456789.") == std::string::npos;
}

// Removes temporary files that an interrupted replacement left in `folder`.
// Links are removed, not followed; a folder of such a name goes only when it
// is empty, as someone else's files might be in it.
void ClearStaleTemporaries(const std::filesystem::path& folder, const std::string& base) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!IsTemporaryName(name, base)) {
            continue;
        }
        if (::unlink(entry.path().c_str()) != 0 && (errno == EISDIR || errno == EPERM)) {
            ::rmdir(entry.path().c_str());
        }
    }
}

// The file that a replacement must write: the path itself, or the file a link
// at that path leads to.
std::filesystem::path ResolveLink(const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        Fail("link leads nowhere", path);
    }
    std::filesystem::path target(resolved);
    std::free(resolved);
    return target;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

// Record numbers start at 1; record 0 or below is a failed seek.
long RecordOffset(std::int64_t record) {
    if (record < 1 || record > std::numeric_limits<long>::max() / RecordSize) {
        throw Failure("bad record number");
    }
    return static_cast<long>((record - 1) * RecordSize);
}

void SeekToRecord(std::FILE* file, std::int64_t record) {
    if (file == nullptr) {
        throw Failure("file not open");
    }
    if (std::fseek(file, RecordOffset(record), SEEK_SET) != 0) {
        throw Failure("bad record number");
    }
}

}  // namespace

File OpenForUpdate(const std::filesystem::path& path) {
    Descriptor fd = OpenRegular(path, O_RDWR);
    if (!fd && errno == ENOENT) {
        fd = OpenRegular(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    }
    if (!fd) {
        Fail("cannot open", path);
    }
    return ToStdioFile(std::move(fd), "r+b", path);
}

void CloseFile(File& file) {
    if (!file) {
        throw Failure("file not open");
    }
    const int result = std::fclose(file.release());
    if (result != 0) {
        throw Failure("close failed");
    }
}

void WriteRecord(std::FILE* file, std::int64_t record, std::int32_t value) {
    SeekToRecord(file, record);
    std::array<unsigned char, RecordSize> bytes{};
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        throw Failure("record write failed");
    }
}

RecordReader::RecordReader(const std::filesystem::path& path)
    : fd_(OpenRegularNonBlocking(path, O_RDONLY).Release()) {
    if (fd_ < 0) {
        if (errno == ENOENT) {
            CreateExclusive(path, 0666);
        }
        Fail("cannot open", path);
    }
}

RecordReader::~RecordReader() {
    ::close(fd_);
}

std::int32_t RecordReader::Read(std::int64_t record) const {
    const long offset = RecordOffset(record);
    std::array<unsigned char, 4> bytes{};
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t got = ::pread(fd_, bytes.data() + total, bytes.size() - total,
                                    static_cast<off_t>(offset) + static_cast<off_t>(total));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            throw Failure("record not in file");
        }
        total += static_cast<std::size_t>(got);
    }
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

std::optional<std::string> ReadFilePrefix(const std::filesystem::path& path, std::size_t limit) {
    Descriptor fd = OpenRegular(path, O_RDONLY);
    if (!fd) {
        struct stat status {};
        if (errno == ENOENT && ::lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
            return std::nullopt;  // nothing there, not even a link
        }
        Fail("cannot read", path);
    }
    return ReadUpTo(fd.Get(), limit);
}

void ReplaceFileContent(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path target = ResolveLink(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        Fail("cannot look at", target);
    }
    if (exists) {
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & S_IWUSR) == 0) {
            Fail("not a writable file", target);
        }
        if (!OpenRegular(target, O_WRONLY)) {
            Fail("may not be written", target);
        }
    }

    const std::filesystem::path folder = FolderOf(target);
    const std::string base = target.filename().string();
    ClearStaleTemporaries(folder, base);

    static unsigned counter = 0;
    std::filesystem::path temporary;
    Descriptor fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temporary = folder /
                    (base + ".new." + std::to_string(::getpid()) + "." + std::to_string(counter++));
        fd = CreateExclusive(temporary, 0666);
        if (!fd && errno != EEXIST) {
            Fail("cannot create", temporary);
        }
    }
    if (!fd) {
        Fail("no free temporary name", temporary);
    }
    if (exists) {
        // The new file takes the old one's owner and mode. Only root may give a
        // file away; for anyone else the new file stays theirs.
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored =
                ::fchown(fd.Get(), existing.st_uid, existing.st_gid);
        }
        if (::fchmod(fd.Get(), existing.st_mode & 07777) != 0) {
            ::unlink(temporary.c_str());
            Fail("cannot keep the mode of", target);
        }
    }
    FillNewFile(fd, temporary, [&](int out) { WriteAll(out, content); });
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        Fail("cannot replace", target);
    }
    // The rename is done; syncing the folder makes it survive a power cut.
    // When that fails the new content is in place all the same.
    Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) {
        ::fsync(directory.Get());
    }
}

std::filesystem::path CopyAside(const std::filesystem::path& source,
                                const std::filesystem::path& asideBase) {
    Descriptor in = OpenRegular(source, O_RDONLY);
    struct stat status {};
    if (!in || ::fstat(in.Get(), &status) != 0) {
        Fail("cannot read", source);
    }
    const mode_t mode = (status.st_mode & 0666) | S_IRUSR | S_IWUSR;
    for (int n = 0; n < 1000; ++n) {
        std::filesystem::path aside = asideBase;
        if (n > 0) {
            aside += "." + std::to_string(n);
        }
        Descriptor out = CreateExclusive(aside, mode);
        if (out) {
            FillNewFile(out, aside, [&](int fd) {
                for (std::string chunk; !(chunk = ReadUpTo(in.Get(), 1 << 16)).empty();) {
                    WriteAll(fd, chunk);
                }
            });
            return aside;
        }
        if (errno != EEXIST) {
            Fail("cannot create", aside);
        }
    }
    Fail("every name taken for a copy of", source);
}

}  // namespace tessaly
