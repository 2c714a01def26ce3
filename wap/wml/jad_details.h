#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::wap {

// What a Java game's descriptor (.jad) says about the game, as raw text
// (UTF-8, never escaped: whoever shows it escapes it). Empty when not given.
struct JadDetails {
    std::string name;         // MIDlet-Name
    std::string vendor;       // MIDlet-Vendor
    std::string version;      // MIDlet-Version
    std::string description;  // MIDlet-Description
    std::string jarUrl;       // MIDlet-Jar-URL as written
    // MIDlet-Jar-URL resolved against the descriptor's address: an http or
    // https address with a host, fully encoded; empty otherwise.
    std::string resolvedJarUrl;
    // MIDlet-Jar-Size when it is a plain number of bytes.
    std::optional<std::int64_t> jarSize;
};

// Most lines of a descriptor read, and most characters kept of a value
// (longer values are cut, at a character's boundary).
inline constexpr std::size_t MaxJadLines = 1000;
inline constexpr std::size_t MaxJadValueChars = 256;
// Descriptors are a few hundred bytes; the gateway reads whole only those up
// to this size.
inline constexpr std::size_t MaxJadBytes = 64 * 1024;

// Reads a descriptor: lines "Name: value" ended by CR LF, LF or CR, a leading
// byte-order mark allowed. Names are case-sensitive and the first of each
// counts; a value's surrounding spaces and tabs are dropped. Text that is not
// UTF-8 is mended (U+FFFD), control characters become spaces. `jadUrl` is the
// address the descriptor came from.
JadDetails ParseJadDetails(std::string_view text, std::string_view jadUrl);

// The details of descriptors that passed through, by the descriptor's own
// address and by its game archive's, so that an archive fetched after its
// descriptor is known too. Filled on the gateway's thread, read on the
// user-interface thread; the oldest are forgotten first.
class JadRegistry {
public:
    void Record(std::string_view jadUrl, const JadDetails& details);
    // Any URL of the descriptor or the archive; a fragment is ignored.
    std::optional<JadDetails> Find(std::string_view url) const;

    static constexpr std::size_t MaxRemembered = 256;

private:
    void Put(std::string key, const JadDetails& details);

    mutable std::mutex mutex_;
    std::map<std::string, JadDetails> byUrl_;
    std::deque<std::string> order_;
};

}  // namespace tessaly::wap
