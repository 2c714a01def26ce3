#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "jad_details.h"
#include "note_pages.h"

namespace tessaly::wap {

class RenderedDecks;

// The program's WAP gateway: an HTTP proxy on 127.0.0.1 that the browser
// engine sends its traffic through. It gives every request a phone's
// identity, streams ordinary responses through untouched, and turns the WAP
// content types the engine cannot show into ones it can. https passes
// through as a CONNECT tunnel.
//
// Only the program may use it: every request must carry proxy credentials
// made afresh for each run; anything else gets 407, and a request that is
// not in absolute form gets 400. It runs on a thread of its own.
class WapGateway {
public:
    struct Options {
        // How long an upstream connect or read may take before the request
        // fails.
        std::chrono::milliseconds upstreamTimeout = std::chrono::seconds(60);
        // Most connections open at once; 0 works it out from the process's
        // limit on open descriptors, keeping a reserve for the program.
        std::size_t maxConnections = 0;
        // How long a page waits for its conversion.
        std::chrono::milliseconds conversionTimeout = std::chrono::seconds(10);
        // How long a new connection may take to send its first request.
        std::chrono::milliseconds firstRequestTimeout = std::chrono::seconds(10);
        // How long a CONNECT tunnel may carry nothing before it is closed.
        std::chrono::milliseconds tunnelIdle = std::chrono::minutes(5);
    };

    // Decks it converts are recorded in `decks`, which must outlive it.
    explicit WapGateway(RenderedDecks& decks);
    WapGateway(RenderedDecks& decks, Options options);
    ~WapGateway();
    WapGateway(const WapGateway&) = delete;
    WapGateway& operator=(const WapGateway&) = delete;

    // Listens on a port the system picks and starts serving; false when
    // nothing could listen.
    bool Start();
    // Stops serving; open connections are dropped.
    void Stop();

    // The address at which the gateway serves the local file at `path` (an
    // absolute path with '/' separators), converted like a page from a site.
    // The address holds a secret made for this run and is an origin of its
    // own. A relative address from that page naming a regular file directly
    // beside it leads to that file's own address, so a deck's links work;
    // nothing else on disk is served. Empty for a path without a file name.
    std::string LocalFileAddress(const std::string& path);

    // Why the last CONNECT tunnel to `host` and `port` could not be opened
    // (https: the engine only learns that it failed); None when the last one
    // opened or none was tried. Any thread.
    UnreachableKind LastTunnelFailure(const std::string& host, const std::string& port) const;

    // The details of a game's descriptor that passed through, by the
    // descriptor's address or by its archive's (MIDlet-Jar-URL); a fragment
    // is ignored. Raw text: whoever shows it escapes it. Any thread.
    std::optional<JadDetails> JadDetailsFor(const std::string& url) const;

    std::uint16_t Port() const;
    const std::string& User() const;
    const std::string& Password() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessaly::wap
