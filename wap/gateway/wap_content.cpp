#include "wap_content.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "multi_byte.h"

namespace tessaly::wap {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xff);
    }
}

void AppendPngChunk(std::string& png, const char* type, const std::string& data) {
    AppendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(typed.data()),
                            static_cast<uInt>(typed.size()));
    AppendBigEndian(png, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string MediaType(std::string_view contentType) {
    return Lower(Trimmed(contentType.substr(0, contentType.find(';'))));
}

std::string CharsetOf(std::string_view contentType) {
    std::size_t at = contentType.find(';');
    while (at != std::string_view::npos) {
        std::string_view parameter = contentType.substr(at + 1);
        const std::size_t next = parameter.find(';');
        parameter = Trimmed(parameter.substr(0, next));
        const std::size_t equals = parameter.find('=');
        if (equals != std::string_view::npos &&
            Lower(Trimmed(parameter.substr(0, equals))) == "charset") {
            std::string_view value = Trimmed(parameter.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value);
        }
        at = next == std::string_view::npos ? next : at + 1 + next;
    }
    return {};
}

ContentKind ClassifyContentType(std::string_view contentType) {
    const std::string type = MediaType(contentType);
    if (type == "text/vnd.wap.wml") {
        return ContentKind::Wml;
    }
    if (type == "application/vnd.wap.wmlc") {
        return ContentKind::Wmlc;
    }
    if (type == "application/vnd.wap.xhtml+xml") {
        return ContentKind::XhtmlMobile;
    }
    if (type == "image/vnd.wap.wbmp") {
        return ContentKind::Wbmp;
    }
    if (type == "text/vnd.wap.wmlscript" || type == "application/vnd.wap.wmlscriptc") {
        return ContentKind::WmlScript;
    }
    if (type == "application/xhtml+xml") {
        return ContentKind::Xhtml;
    }
    if (type == "text/vnd.sun.j2me.app-descriptor") {
        return ContentKind::JavaDescriptor;
    }
    return ContentKind::PassThrough;
}

std::string RelabelXhtmlMobile(std::string_view contentType) {
    const std::size_t parameters = contentType.find(';');
    std::string relabelled = "application/xhtml+xml";
    if (parameters != std::string_view::npos) {
        relabelled += contentType.substr(parameters);
    }
    return relabelled;
}

std::string WithCharset(std::string_view contentType, std::string_view charset) {
    const std::string type = MediaType(contentType);
    const bool text =
        type.starts_with("text/") || type.ends_with("+xml") || type == "application/xml";
    if (charset.empty() || !text || !CharsetOf(contentType).empty()) {
        return std::string(contentType);
    }
    std::string typed(Trimmed(contentType));
    while (!typed.empty() && (typed.back() == ';' || typed.back() == ' ')) {
        typed.pop_back();
    }
    return typed + "; charset=" + std::string(charset);
}

std::optional<std::string> Inflate(std::string_view body, std::size_t limit) {
    z_stream stream{};
    // 15 + 32: zlib or gzip framing, detected from the header.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (out.size() > limit) {
            status = Z_BUF_ERROR;
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && out.size() <= limit) {
            break;  // input ended without the end of the stream: damaged
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> WbmpToPng(std::string_view wbmp) {
    std::size_t at = 0;
    const auto type = ReadMultiByte(wbmp, at);
    if (!type || *type != 0 || at >= wbmp.size()) {
        return std::nullopt;
    }
    const auto fixedHeader = static_cast<unsigned char>(wbmp[at++]);
    if (fixedHeader & 0x80) {
        return std::nullopt;  // extension headers are not part of type 0
    }
    const auto width = ReadMultiByte(wbmp, at);
    const auto height = ReadMultiByte(wbmp, at);
    // Phone screens were small; a few thousand pixels a side is already absurd.
    constexpr std::uint32_t MaxSide = 4096;
    if (!width || !height || *width == 0 || *height == 0 || *width > MaxSide || *height > MaxSide) {
        return std::nullopt;
    }
    const std::size_t rowBytes = (*width + 7) / 8;
    if (wbmp.size() - at < rowBytes * *height) {
        return std::nullopt;
    }
    // Both formats keep rows of 1-bit pixels, most significant bit first,
    // 1 for white: each PNG row is the WBMP row after a "no filter" byte.
    std::string raw;
    raw.reserve((rowBytes + 1) * *height);
    for (std::uint32_t row = 0; row < *height; ++row) {
        raw += '\0';
        raw.append(wbmp.substr(at + row * rowBytes, rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                 reinterpret_cast<const Bytef*>(raw.data()),
                 static_cast<uLong>(raw.size())) != Z_OK) {
        return std::nullopt;
    }
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian(header, *width);
    AppendBigEndian(header, *height);
    header += '\x01';                // bit depth
    header += '\0';                  // greyscale
    header += std::string(3, '\0');  // compression, filter, interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendPngChunk(png, "IHDR", header);
    AppendPngChunk(png, "IDAT", packed);
    AppendPngChunk(png, "IEND", {});
    return png;
}

}  // namespace tessaly::wap
