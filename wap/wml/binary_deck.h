#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// A binary WML deck (application/vnd.wap.wmlc, WBXML) as WML text in UTF-8,
// ready for ConvertWmlDeck with the charset "utf-8"; nothing when it cannot
// be decoded. Its text is read in the charset its header names; when that is
// 0 (unknown), in `fallbackCharset` (the HTTP header's, else the one the
// user chose), else as UTF-8.
std::optional<std::string> DecodeWmlc(std::string_view wbxml,
                                      std::string_view fallbackCharset = {});

}  // namespace tessaly::wap
