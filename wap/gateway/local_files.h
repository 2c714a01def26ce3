#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "script_units.h"

namespace tessaly::wap {

// Files the user opened from disk, served by the gateway under addresses of
// their own: "http://<secret>.local.tessaly.invalid/<name>". Each file gets a
// host (so an origin) of its own, made afresh for each run: a page read from
// disk can never read another file, and a site that learns one address
// reaches that file alone, which the engine keeps from its scripts anyway.
// A relative address from such a page naming a file directly beside it is
// redirected to that file's own address, so a deck's links work.
class LocalFiles {
public:
    // Most files one run shares; more get no address.
    static constexpr std::size_t MaxShared = 10'000;

    // The address of the file at `path` (absolute, '/' separators); the same
    // each time for the same path. Empty for a path without a file name, or
    // when MaxShared files are shared already.
    std::string Share(const std::string& path);

    // Whether a request for `host` is one for a local file.
    static bool IsLocalHost(std::string_view host);

    struct Found {
        std::string path;      // set when the address names a shared file
        std::string name;      // its file name
        std::string redirect;  // set when it names a file beside one: its own address
    };
    // What a request for `host` and `path` (origin form, query allowed) names.
    std::optional<Found> Find(std::string_view host, std::string_view path);

private:
    std::mutex mutex_;
    std::map<std::string, std::string> pathsBySecret_;
    std::map<std::string, std::string> secretsByPath_;
};

// The contents of the regular file at `path`, at most `limit` bytes; nothing
// when it is not a regular file (a FIFO or a device is never waited on), is a
// symbolic link, cannot be read, or is larger.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit);

// Where a local deck at `path`, served at `url`, gets the WMLScript units it
// calls: from files directly beside it, named by addresses under its own
// (each file's own origin would keep the page from fetching them). The
// page carries them.
ScriptFetcher ScriptsBeside(const std::string& path, const std::string& url);

// The type a local file is served as, from its name.
std::string LocalContentType(std::string_view name);

}  // namespace tessaly::wap
