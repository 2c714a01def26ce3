#include "file_io.h"

#include <array>
#include <system_error>

#include "failure.h"

namespace tessaly {

namespace {

std::FILE* Open(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.string().c_str(), mode);
}

void SeekToRecord(std::FILE* file, std::int64_t record) {
    if (file == nullptr) {
        throw Failure("file not open");
    }
    // Record numbers start at 1; record 0 or below is a failed seek.
    if (record < 1 ||
        std::fseek(file, static_cast<long>((record - 1) * RecordSize), SEEK_SET) != 0) {
        throw Failure("bad record number");
    }
}

}  // namespace

File OpenForReading(const std::filesystem::path& path) {
    if (std::FILE* file = Open(path, "rb")) {
        return File(file);
    }
    File created(Open(path, "ab"));  // "ab" creates a missing file and never truncates
    throw Failure("cannot open " + path.string());
}

File OpenForUpdate(const std::filesystem::path& path) {
    if (std::FILE* file = Open(path, "r+b")) {
        return File(file);
    }
    File created(Open(path, "ab"));
    if (!created) {
        throw Failure("cannot create " + path.string());
    }
    created.reset();
    if (std::FILE* file = Open(path, "r+b")) {
        return File(file);
    }
    throw Failure("cannot open " + path.string());
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

std::int32_t ReadRecord(std::FILE* file, std::int64_t record) {
    SeekToRecord(file, record);
    std::array<unsigned char, 4> bytes{};
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        throw Failure("record not in file");
    }
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

std::string ReadFilePrefix(const std::filesystem::path& path, std::size_t limit) {
    File file(Open(path, "rb"));
    if (!file) {
        throw Failure("cannot open " + path.string());
    }
    std::string content(limit, '\0');
    content.resize(std::fread(content.data(), 1, limit, file.get()));
    if (std::ferror(file.get())) {
        throw Failure("read failed");
    }
    return content;
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view content) {
    File file(Open(path, "wb"));
    if (!file) {
        throw Failure("cannot create " + path.string());
    }
    const bool written =
        std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    const bool flushed = written && std::fflush(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!(written && flushed && closed)) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw Failure("write failed: " + path.string());
    }
}

}  // namespace tessaly
