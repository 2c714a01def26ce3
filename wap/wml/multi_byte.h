#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly::wap {

// A multi-byte integer of WBXML and WBMP headers at `at`, moving `at` past
// it: 7 bits a byte, most significant first, the top bit set on every byte
// but the last. Nothing when it runs past the data or past 5 bytes.
inline std::optional<std::uint32_t> ReadMultiByte(std::string_view data, std::size_t& at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 5 && at < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[at++]);
        value = (value << 7) | (byte & 0x7f);
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tessaly::wap
