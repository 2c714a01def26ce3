#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "gateway_io.h"
#include "wap_content.h"

namespace tessaly::wap {

class ConversionPool;
class JadRegistry;
class RenderedDecks;

// A connection to a site kept for the next request to the same place.
struct Upstream {
    std::optional<beast::tcp_stream> stream;
    beast::flat_buffer buffer;
    std::string key;
    // Whether the site is on this machine or the private network.
    bool local = false;

    void Drop();
    // Whether it can carry another request: open, and the site has sent
    // nothing since its last answer (bytes it sent unasked would be taken
    // for the next answer).
    bool Reusable(const std::string& forKey);
};

// Passes the engine's requests on to the sites and their answers back:
// bodies streamed as they arrive, downloads of known length through the
// kernel, WAP content converted (and XHTML checked) on the conversion pool,
// small game descriptors read whole and their details recorded. A site that
// fails before its answer begins gets a page that says why. A request from a
// page on the internet to this machine or the private network is refused
// unless it is a navigation, as the engine itself would (it cannot here: it
// never learns an address).
class SiteRelay {
public:
    struct Settings {
        std::chrono::milliseconds upstreamTimeout;
        std::uint16_t ownPort = 0;
    };
    // Hosts remembered as being on this machine or the private network.
    static constexpr std::size_t MostPrivateHosts = 1024;

    SiteRelay(Settings settings, ConversionPool& pool, RenderedDecks& decks, JadRegistry& jads)
        : settings_(settings), pool_(pool), decks_(decks), jads_(jads) {}

    // The gateway's own port, known once it listens: never a site.
    void SetOwnPort(std::uint16_t port) { settings_.ownPort = port; }

    // Forwards one request whose header `request` has read, and its answer;
    // whether the client's connection may carry another request. Throws when
    // the connection must end abruptly.
    awaitable<bool> Forward(beast::tcp_stream& client, beast::flat_buffer& clientBuffer,
                            RequestParser& request, const ProxyTarget& target,
                            const std::string& url, Upstream& upstream);

    // Whether a request with `header` to a site on this machine or the
    // private network must be refused: it comes from a page on the internet
    // (by its Referer, or its Origin) and is no navigation.
    bool RefusedAsLocal(const http::fields& header);

private:
    // What the request asked for besides the request itself.
    struct Asked {
        std::string url;
        std::string referer;
        std::string userCharset;  // a name of UserCharsets, or empty
        bool wantsUnit = false;   // a page's machine asks for a WMLScript unit
        bool head = false;
        bool keepAlive = false;
    };
    awaitable<bool> Deliver(beast::tcp_stream& client, Upstream& upstream, ResponseParser& response,
                            const Asked& asked);
    awaitable<bool> DeliverConverted(beast::tcp_stream& client, Upstream& upstream,
                                     ResponseParser& response, ContentKind kind,
                                     const Asked& asked);
    awaitable<bool> DeliverDescriptor(beast::tcp_stream& client, Upstream& upstream,
                                      ResponseParser& response, const Asked& asked);
    awaitable<void> PipeFixedLength(beast::tcp_stream& client, Upstream& upstream,
                                    ResponseParser& response);
    bool IsPrivateHost(const std::string& host);

    Settings settings_;
    ConversionPool& pool_;
    RenderedDecks& decks_;
    JadRegistry& jads_;
    std::mutex privateMutex_;
    std::set<std::string> privateHosts_;
};

// Whether a message's Transfer-Encoding is one the gateway passes on: none,
// or "chunked" alone. Others would reach the other side undecoded.
bool PlainTransferEncoding(const http::fields& fields);

}  // namespace tessaly::wap
