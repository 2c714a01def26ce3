#pragma once

#include <string>
#include <string_view>

namespace tessaly::wap {

// Small HTML pages (UTF-8) shown in place of WAP content that cannot be
// shown: a script, a deck too large to convert, a deck that cannot be read.
std::string WmlScriptNotePage(std::string_view backUrl);
std::string TooLargePage(std::string_view url);
std::string UnreadablePage(std::string_view url);

}  // namespace tessaly::wap
