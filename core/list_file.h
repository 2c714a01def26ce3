#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// A list the program keeps in a UTF-8 text file of the Data folder: a first
// line naming the format and its version, then one item a line, fields
// separated by tabs. Favourites and history are kept this way (described in
// docs/files.md).
//
// The file is written only when the Data folder exists (the program never
// creates it), always whole and atomically. A file that was read with
// anything lost (a wrong first line, a line that cannot be read, more than
// the size bound) is first copied aside as NAME.damaged (.1, .2 ...); when
// that copy cannot be made, or the file is there but cannot be read, this
// object never writes over it.
class ListFile {
public:
    ListFile(const std::filesystem::path& programFolder, std::string_view name, std::string header,
             std::size_t maxBytes);

    // The lines after the first, with their line ends removed. Empty when
    // there is no file. Anything wrong with the file as a whole (its first
    // line, its size) is dealt with here; a line the caller cannot read it
    // passes to KeepDamagedAside.
    std::vector<std::string> Load();
    // Copies the file read aside, once per load, before it is replaced.
    void KeepDamagedAside();
    // Replaces the file with the first line and `lines`; false when nothing
    // was written (no Data folder, a file that must be kept, a failure).
    bool Save(const std::vector<std::string>& lines) const;

    const std::filesystem::path& Path() const { return path_; }
    std::size_t MaxBytes() const { return maxBytes_; }
    // The bytes Save writes for the first line and `lines`.
    std::size_t SizeOf(const std::vector<std::string>& lines) const;

private:
    std::filesystem::path dataFolder_;
    std::filesystem::path path_;
    std::string header_;
    std::size_t maxBytes_;
    bool keptAside_ = false;
    bool keepStored_ = false;
};

// A field as written: backslash, tab, line feed and carriage return escaped
// as \\, \t, \n and \r.
std::string EscapeField(std::string_view text);

// The `count` fields of a line, unescaped, each valid UTF-8 with control
// characters turned into spaces; empty when the line has another number of
// fields, a field is not valid UTF-8, or an escape is unknown.
std::optional<std::vector<std::string>> SplitFields(std::string_view line, std::size_t count);

// Text fit to keep: invalid UTF-8 sequences become U+FFFD, control
// characters spaces, and the text is cut at a character boundary to at most
// `maxBytes` bytes.
std::string CleanText(std::string_view text, std::size_t maxBytes);

// ASCII letters folded to lower case, the rest as it is.
std::string FoldCase(std::string_view text);

}  // namespace tessaly
