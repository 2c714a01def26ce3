#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::wap {

inline constexpr char WmlScriptSourceType[] = "text/vnd.wap.wmlscript";
inline constexpr char WmlScriptUnitType[] = "application/vnd.wap.wmlscriptc";
// Most units one page carries, or loads: a deck's own calls and the units
// those load.
inline constexpr std::size_t MaxScriptUnits = 16;
// Largest script, source or compiled, the program takes from a site.
inline constexpr std::size_t MaxScriptBytes = 256 * 1024;

// A script made ready for a page's machine: compiled when it came as
// source, and verified either way.
struct ScriptUnit {
    bool ok = false;
    std::string unit;     // the verified unit, when ok
    std::string message;  // why not, in Chinese, when not ok
};

// A script as a site sent it. contentType names source or a compiled unit;
// source in no named charset is read in userCharset, else UTF-8. Never
// throws; slow for large sources: not on the thread that moves bytes.
ScriptUnit PrepareScriptUnit(std::string_view body, std::string_view contentType,
                             std::string_view userCharset = {});

// Whether a request's Accept header is the page machine's asking for a unit
// (a navigation to a script gets a page that says what it is instead).
bool AsksForScriptUnit(std::string_view accept);

// A script fetched for a page that cannot fetch it itself.
struct FetchedScript {
    std::string body;
    std::string contentType;
};
// Fetches the script at an absolute address, or says it cannot.
using ScriptFetcher = std::function<std::optional<FetchedScript>(const std::string& address)>;

// The units a page carries: those at `addresses`, then those their `use url`
// pragmas name, at most MaxScriptUnits in all. Each is the unit's address and
// the unit, or a message why it is missing.
std::vector<std::pair<std::string, ScriptUnit>> GatherScriptUnits(
    const std::vector<std::string>& addresses, const ScriptFetcher& fetch);

// The deck data member that carries units: "units":{"address":"base64",...};
// a unit that could not be had is "!" and the reason.
std::string UnitsMember(const std::vector<std::pair<std::string, ScriptUnit>>& units);

}  // namespace tessaly::wap
