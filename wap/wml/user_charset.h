#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tessaly::wap {

// The request header by which the browser asks the gateway to read a site's
// pages in the charset the user chose for it. The gateway removes it before
// the request goes on: the site never sees it. It counts only for documents
// that name no charset themselves.
inline constexpr char UserCharsetHeader[] = "X-Tessaly-Charset";

// The charsets the user may choose, as the header names them.
inline constexpr std::array<std::string_view, 6> UserCharsets = {
    "UTF-8", "GBK", "Big5", "ISO-8859-1", "Windows-1251", "KOI8-R"};

// The name in UserCharsets that `value` gives (case and surrounding spaces
// aside); empty for any other value, which is then ignored.
constexpr std::string_view UserCharsetNamed(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (const std::string_view name : UserCharsets) {
        bool same = name.size() == value.size();
        for (std::size_t i = 0; same && i < name.size(); ++i) {
            same = lower(name[i]) == lower(value[i]);
        }
        if (same) {
            return name;
        }
    }
    return {};
}

}  // namespace tessaly::wap
