#include "list_file.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "file_io.h"
#include "program_path.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is
// not a valid one (cut short, overlong, a surrogate, past U+10FFFF). The code
// point goes to `codePoint`.
std::size_t SequenceAt(std::string_view text, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

bool IsControl(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 ||
           codePoint == 0x2029;
}

bool IsValidUtf8(std::string_view text) {
    char32_t ignored = 0;
    while (!text.empty()) {
        const std::size_t length = SequenceAt(text, ignored);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::optional<std::string> Unescape(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
            case '\\':
                text += '\\';
                break;
            case 't':
                text += '\t';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return text;
}

}  // namespace

ListFile::ListFile(const std::filesystem::path& programFolder, std::string_view name,
                   std::string header, std::size_t maxBytes)
    : dataFolder_(ProgramPath(programFolder, "\\Data")),
      path_(ProgramPath(programFolder, "\\Data\\" + std::string(name))),
      header_(std::move(header)),
      maxBytes_(maxBytes) {}

std::vector<std::string> ListFile::Load() {
    keptAside_ = false;
    keepStored_ = false;
    std::optional<std::string> text;
    if (!SkipIfFails([&] { text = ReadFilePrefix(path_, maxBytes_ + 1); })) {
        // Something is there that cannot be read: it may be the user's list,
        // so this run never writes over it.
        keepStored_ = true;
        return {};
    }
    if (!text || text->empty()) {
        return {};
    }
    std::string_view rest(*text);
    if (text->size() > maxBytes_) {
        // Larger than any list this program writes: what lies past the bound,
        // and the line it cuts, are not read.
        KeepDamagedAside();
        rest = rest.substr(0, maxBytes_);
        rest = rest.substr(0, rest.rfind('\n') == std::string_view::npos ? 0 : rest.rfind('\n'));
    }
    if (rest.starts_with(ByteOrderMark)) {
        rest.remove_prefix(ByteOrderMark.size());
    }
    std::vector<std::string> lines;
    bool first = true;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (first) {
            first = false;
            if (line != header_) {
                // Not this format, or a later version of it: kept whole.
                KeepDamagedAside();
                return {};
            }
            continue;
        }
        if (!line.empty()) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

void ListFile::KeepDamagedAside() {
    if (keptAside_ || keepStored_) {
        return;
    }
    std::filesystem::path aside = path_;
    aside += ".damaged";
    keptAside_ = SkipIfFails([&] { CopyAside(path_, aside); });
    keepStored_ = !keptAside_;
}

std::size_t ListFile::SizeOf(const std::vector<std::string>& lines) const {
    std::size_t size = header_.size() + 1;
    for (const std::string& line : lines) {
        size += line.size() + 1;
    }
    return size;
}

bool ListFile::Save(const std::vector<std::string>& lines) const {
    std::error_code error;
    if (keepStored_ || !std::filesystem::is_directory(dataFolder_, error)) {
        return false;
    }
    std::string content;
    content.reserve(SizeOf(lines));
    content += header_;
    content += '\n';
    for (const std::string& line : lines) {
        content += line;
        content += '\n';
    }
    return SkipIfFails([&] { ReplaceFileContent(path_, content); });
}

std::string EscapeField(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::optional<std::vector<std::string>> SplitFields(std::string_view line, std::size_t count) {
    std::vector<std::string> fields;
    while (true) {
        const std::size_t end = line.find('\t');
        std::optional<std::string> field = Unescape(line.substr(0, end));
        if (!field || !IsValidUtf8(*field) || fields.size() == count) {
            return std::nullopt;
        }
        fields.push_back(CleanText(*field, field->size()));
        if (end == std::string_view::npos) {
            break;
        }
        line.remove_prefix(end + 1);
    }
    if (fields.size() != count) {
        return std::nullopt;
    }
    return fields;
}

std::string CleanText(std::string_view text, std::size_t maxBytes) {
    std::string clean;
    clean.reserve(std::min(text.size(), maxBytes));
    while (!text.empty()) {
        char32_t codePoint = 0;
        std::size_t length = SequenceAt(text, codePoint);
        std::string_view piece = text.substr(0, length);
        if (length == 0) {
            piece = Replacement;
            length = 1;
        } else if (IsControl(codePoint)) {
            piece = " ";
        }
        if (clean.size() + piece.size() > maxBytes) {
            break;
        }
        clean += piece;
        text.remove_prefix(length);
    }
    return clean;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

}  // namespace tessaly
