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

// Why a site could not be reached, before any answer of its began.
enum class UnreachableKind {
    None,         // no failure (nothing recorded)
    UnknownHost,  // the name was not found
    Refused,      // nothing listens there: the connection was refused
    TimedOut,     // no connection or no answer in time
    Reset,        // the site reset or closed the connection without answering
    Other,        // anything else: no route, an answer that could not be read
};

// The page shown for a site that could not be reached: which of the kinds it
// was and what the user can do, with the address escaped. The gateway answers
// http with it (504 for a timeout, 502 otherwise); the browser pane can show
// the same page for https.
std::string UnreachablePage(UnreachableKind kind, std::string_view url);

// A short note, in small type, that an XHTML page was not well-formed and is
// shown leniently as HTML. ASCII only (the Chinese as character references),
// so it reads right whatever the page's charset, when appended to the page.
// line and column are where the problem was found (1-based).
std::string MalformedPageNote(long long line, long long column);

}  // namespace tessaly::wap
