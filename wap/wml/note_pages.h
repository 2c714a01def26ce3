#pragma once

#include <string>
#include <string_view>

namespace tessaly::wap {

// Small HTML pages (UTF-8) shown in place of WAP content that cannot be
// shown: a script, a deck too large to convert, a deck that cannot be read.
std::string WmlScriptNotePage(std::string_view backUrl);
std::string TooLargePage(std::string_view url);
std::string UnreadablePage(std::string_view url);
// A deck that names who may link to it (<access>) reached from elsewhere, or
// from a page that did not say where it was.
std::string AccessRefusedPage(std::string_view url);
// A conversion that did not finish in time, or waited while too many others ran.
std::string BusyPage(std::string_view url);

}  // namespace tessaly::wap
