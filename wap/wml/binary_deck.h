#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// A binary WML deck (application/vnd.wap.wmlc, WBXML) as WML text in UTF-8,
// ready for ConvertWmlDeck with the charset "utf-8"; nothing when it cannot
// be decoded.
std::optional<std::string> DecodeWmlc(std::string_view wbxml);

}  // namespace tessaly::wap
