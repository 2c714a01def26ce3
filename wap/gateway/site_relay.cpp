#include "site_relay.h"

#include <array>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <limits>
#include <sstream>
#include <vector>

#include "content_conversion.h"
#include "conversion_pool.h"
#include "jad_details.h"
#include "kernel_copy.h"
#include "note_pages.h"
#include "script_units.h"
#include "site_failures.h"
#include "user_charset.h"
#include "wap_content.h"
#include "wap_identity.h"

namespace tessaly::wap {

namespace {

// Most bytes moved per read while streaming a body through.
constexpr std::size_t RelayChunk = 256 * 1024;

struct RelayResult {
    beast::error_code read;
    beast::error_code write;
};

// Moves the message `parser` reads from `from` on to `to`: its header, then
// its body as it arrives, never whole: a page a site sends slowly shows as it
// comes. Reads (and writes) take at most their timeout, when one is given.
template <bool isRequest>
awaitable<RelayResult> Relay(beast::tcp_stream& from, beast::flat_buffer& buffer,
                             BoundedParser<isRequest, http::buffer_body>& parser,
                             beast::tcp_stream& to,
                             std::optional<std::chrono::milliseconds> readTimeout,
                             std::optional<std::chrono::milliseconds> writeTimeout) {
    auto& message = parser.get();
    http::serializer<isRequest, http::buffer_body> serializer(message);
    std::vector<char> chunk(parser.is_done() ? 0 : RelayChunk);
    RelayResult result;
    do {
        if (!parser.is_done()) {
            message.body().data = chunk.data();
            message.body().size = chunk.size();
            if (readTimeout) {
                from.expires_after(*readTimeout);
            }
            co_await http::async_read_some(from, buffer, parser,
                                           asio::redirect_error(asio::use_awaitable, result.read));
            if (result.read == http::error::need_buffer) {
                result.read = {};
            }
            if (result.read) {
                break;
            }
            const std::size_t got = chunk.size() - message.body().size;
            if (got == 0 && !parser.is_done() && serializer.is_header_done()) {
                continue;
            }
            message.body().size = got;
            message.body().data = got == 0 ? nullptr : chunk.data();
            message.body().more = !parser.is_done();
        } else {
            message.body().data = nullptr;
            message.body().size = 0;
            message.body().more = false;
        }
        if (writeTimeout) {
            to.expires_after(*writeTimeout);
        }
        co_await http::async_write(to, serializer,
                                   asio::redirect_error(asio::use_awaitable, result.write));
        if (result.write == http::error::need_buffer) {
            result.write = {};
        }
        if (result.write) {
            break;
        }
    } while (!parser.is_done() || !serializer.is_done());
    from.expires_never();
    to.expires_never();
    co_return result;
}

// Whether an address text is an IP address on this machine or a private network.
bool IsLocalAddressText(const std::string& host) {
    beast::error_code error;
    const auto address = asio::ip::make_address(host, error);
    return !error && IsLocalOrPrivate(address);
}

bool AllLocal(const Tcp::resolver::results_type& endpoints) {
    bool any = false;
    for (const auto& entry : endpoints) {
        if (!IsLocalOrPrivate(entry.endpoint().address())) {
            return false;
        }
        any = true;
    }
    return any;
}

// The conversion of a site's body, run on the pool. Made outside any
// coroutine: GCC 12 destroys some temporaries of an aggregate built inside
// one twice.
ConversionPool::Job ConversionJob(ContentKind kind, std::string body, std::string contentType,
                                  std::size_t bytes, std::string url, std::string referrer,
                                  std::string userCharset, RenderedDecks& decks) {
    WapBody content;
    content.kind = kind;
    content.body = std::move(body);
    content.charset = CharsetOf(contentType);
    content.contentType = std::move(contentType);
    content.bytes = bytes;
    content.url = std::move(url);
    content.referrer = std::move(referrer);
    content.userCharset = std::move(userCharset);
    return [content = std::move(content), &decks]() mutable {
        return ConvertWapBody(std::move(content), decks);
    };
}

}  // namespace

void Upstream::Drop() {
    if (stream) {
        beast::error_code ignored;
        stream->socket().close(ignored);
    }
    stream.reset();
    buffer.clear();
    key.clear();
    local = false;
}

bool Upstream::Reusable(const std::string& forKey) {
    if (!stream || key != forKey) {
        return false;
    }
    beast::error_code error;
    const std::size_t waiting = stream->socket().available(error);
    return !error && waiting == 0 && buffer.size() == 0;
}

bool PlainTransferEncoding(const http::fields& fields) {
    const auto found = fields.find(http::field::transfer_encoding);
    if (found == fields.end()) {
        return true;
    }
    std::string value(found->value());
    for (char& c : value) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t");
    return first != std::string::npos && value.substr(first, last - first + 1) == "chunked" &&
           fields.count(http::field::transfer_encoding) == 1;
}

bool SiteRelay::IsPrivateHost(const std::string& host) {
    if (host.empty() || host == "localhost" || host.ends_with(".localhost") ||
        host.ends_with(".invalid") || IsLocalAddressText(host)) {
        return true;
    }
    std::lock_guard lock(privateMutex_);
    return privateHosts_.contains(host);
}

bool SiteRelay::RefusedAsLocal(const http::fields& header) {
    // A navigation (the engine marks every one) may go anywhere the user
    // points it; what a page loads by itself may not.
    const bool navigation = header["Upgrade-Insecure-Requests"] == "1";
    std::string from(header[http::field::referer]);
    if (from.empty()) {
        from = std::string(header[http::field::origin]);
    }
    if (from.empty()) {
        return false;  // the engine's own requests: typed addresses, downloads
    }
    if (from == "null") {
        return !navigation;  // a page without an origin of its own
    }
    const auto target = ParseAbsoluteTarget(from);
    return !navigation && !(target && IsPrivateHost(target->host));
}

awaitable<bool> SiteRelay::Forward(beast::tcp_stream& client, beast::flat_buffer& clientBuffer,
                                   RequestParser& request, const ProxyTarget& target,
                                   const std::string& url, Upstream& upstream) {
    auto& message = request.get();
    const bool clientKeepAlive = message.keep_alive();
    const bool head = message.method() == http::verb::head;
    const bool preflight = message.method() == http::verb::options;
    const std::string referer(message[http::field::referer]);
    const bool hasBody = HasBody(request);
    if (!PlainTransferEncoding(message)) {
        co_await Answer(client, http::status::not_implemented, {}, {}, false);
        co_return false;
    }
    const bool refusedIfLocal = preflight || RefusedAsLocal(message);
    Asked asked;
    asked.url = url;
    asked.referer = referer;
    asked.head = head;
    asked.keepAlive = clientKeepAlive;
    asked.userCharset = std::string(UserCharsetNamed(message[UserCharsetHeader]));
    asked.wantsUnit = AsksForScriptUnit(message[http::field::accept]);

    // The same request, for the site: origin-form target, no proxy headers,
    // none of the program's own, the phone's identity.
    EraseHopByHop(message);
    message.erase(UserCharsetHeader);
    message.target(target.path);
    message.set(http::field::user_agent, PhoneUserAgent);
    message.set(http::field::accept, PhoneAccept);
    message.keep_alive(true);

    const std::string key = target.host + ":" + target.port;
    // A connection kept from an earlier request may have been closed by the
    // site meanwhile; a request without a body is then sent once more on a
    // fresh one. A body is never sent twice.
    const bool reused = upstream.Reusable(key) && !hasBody;
    if (!reused) {
        upstream.Drop();
    }
    // Why the site could not be reached, when it failed before its answer
    // began: the user then gets a page that says so.
    beast::error_code failure;
    for (int attempt = reused ? 0 : 1; attempt < 2 && !failure; ++attempt) {
        if (!upstream.stream) {
            std::optional<Tcp::resolver::results_type> found;
            try {
                found = co_await ResolveSite(target, settings_.ownPort);
            } catch (const beast::system_error& error) {
                if (error.code() == asio::error::access_denied) {
                    throw;  // the gateway's own port: no site, and no page
                }
                failure = error.code();
            }
            if (failure) {
                break;
            }
            const auto& endpoints = *found;
            const bool local = AllLocal(endpoints);
            if (local) {
                std::lock_guard lock(privateMutex_);
                if (privateHosts_.size() < MostPrivateHosts) {
                    privateHosts_.insert(target.host);
                }
            }
            if (refusedIfLocal && local) {
                co_await Answer(client, http::status::forbidden, {}, {}, false);
                co_return false;
            }
            upstream.stream.emplace(co_await asio::this_coro::executor);
            upstream.buffer.reserve(ReadRoom);
            upstream.stream->expires_after(settings_.upstreamTimeout);
            co_await upstream.stream->async_connect(
                endpoints, asio::redirect_error(asio::use_awaitable, failure));
            if (failure) {
                upstream.Drop();
                break;
            }
            SendAtOnce(upstream.stream->socket());
            upstream.key = key;
            upstream.local = local;
        } else if (refusedIfLocal && upstream.local) {
            co_await Answer(client, http::status::forbidden, {}, {}, false);
            co_return false;
        }
        // Sent once: a failure to send makes the connection unusable, and a
        // request without a body is then tried once more on a fresh one.
        const RelayResult sent =
            co_await Relay(client, clientBuffer, request, *upstream.stream,
                           settings_.upstreamTimeout, settings_.upstreamTimeout);
        if (sent.read) {
            throw beast::system_error(sent.read);
        }
        beast::error_code error = sent.write;

        std::optional<ResponseParser> response;
        // A provisional answer (100 Continue, 103 Early Hints) is followed by
        // the real one. 101 is final: the gateway switches no protocol.
        const auto provisional = [&] {
            const unsigned status = response->get().result_int();
            return status / 100 == 1 && status != 101;
        };
        while (!error && (!response || provisional())) {
            response.emplace();
            response->body_limit(std::numeric_limits<std::uint64_t>::max());
            response->header_limit(MaxHeaderBytes);
            response->skip(head);
            upstream.stream->expires_after(settings_.upstreamTimeout);
            co_await http::async_read_header(*upstream.stream, upstream.buffer, *response,
                                             asio::redirect_error(asio::use_awaitable, error));
        }
        if (error) {
            upstream.Drop();
            if (attempt == 0) {
                continue;
            }
            failure = error;
            break;
        }
        const bool again = co_await Deliver(client, upstream, *response, asked);
        co_return again;
    }
    if (failure) {
        // The connection is not kept: what the engine sent of a body is unread.
        const UnreachableKind kind = UnreachableKindOf(failure);
        co_await Answer(client, UnreachableStatus(kind), "text/html; charset=utf-8",
                        UnreachablePage(kind, url), false);
    }
    co_return false;
}

awaitable<bool> SiteRelay::Deliver(beast::tcp_stream& client, Upstream& upstream,
                                   ResponseParser& response, const Asked& asked) {
    const std::string& referer = asked.referer;
    const bool head = asked.head;
    const bool keepAlive = asked.keepAlive;
    auto& message = response.get();
    const std::string contentType(message[http::field::content_type]);
    const ContentKind kind = ClassifyContentType(contentType);
    const unsigned status = message.result_int();
    const bool hasBody = !head && status != 204 && status != 304;
    if (status == 101 || !PlainTransferEncoding(message)) {
        upstream.Drop();
        co_await Answer(client, http::status::bad_gateway, {}, {}, keepAlive);
        co_return keepAlive;
    }
    if (status == 304) {
        // The engine takes a 304's headers in place of those it keeps; the
        // page it keeps may be one made from a deck, with a policy of ours.
        message.erase("Content-Security-Policy");
    }

    if (kind == ContentKind::WmlScript && hasBody && asked.wantsUnit) {
        co_return co_await DeliverConverted(client, upstream, response, kind, asked);
    }
    if (kind == ContentKind::WmlScript && hasBody) {
        upstream.Drop();
        co_await Answer(client, http::status::ok, "text/html; charset=utf-8",
                        WmlScriptNotePage(referer), keepAlive);
        co_return keepAlive;
    }
    if (IsConverted(kind) && hasBody) {
        co_return co_await DeliverConverted(client, upstream, response, kind, asked);
    }
    // XHTML is read whole to be checked, when it is small enough and in a
    // coding the gateway can undo; larger pages stream as they come.
    const std::string coding = MediaType(message[http::field::content_encoding]);
    const bool decodable = coding.empty() || coding == "identity" || coding == "gzip" ||
                           coding == "x-gzip" || coding == "deflate";
    const std::uint64_t declared = response.content_length().value_or(0);
    if (IsXhtml(kind) && hasBody && decodable && declared <= MaxConvertedBytes) {
        co_return co_await DeliverConverted(client, upstream, response, kind, asked);
    }
    if (kind == ContentKind::JavaDescriptor && hasBody && declared <= MaxJadBytes) {
        co_return co_await DeliverDescriptor(client, upstream, response, asked);
    }

    // Everything else goes through as it came, a piece at a time as it
    // arrives; only the connection headers are the gateway's own, and the
    // charset the user chose for a site's text that names none.
    std::string shownType = contentType;
    if (kind == ContentKind::XhtmlMobile) {
        shownType = RelabelXhtmlMobile(contentType);
    } else if (!hasBody && kind == ContentKind::WmlScript && asked.wantsUnit) {
        // What the machine keeps in the cache is the unit made from the script.
        shownType = WmlScriptUnitType;
    } else if (!hasBody && (IsConverted(kind) || kind == ContentKind::WmlScript)) {
        shownType = kind == ContentKind::Wbmp ? "image/png" : "text/html; charset=utf-8";
    }
    shownType = WithCharset(shownType, asked.userCharset);
    if (shownType != contentType) {
        message.set(http::field::content_type, shownType);
    }
    const bool upstreamKeepAlive = response.keep_alive() && !response.need_eof();
    const bool clientKeepAlive = keepAlive && !response.need_eof();
    EraseHopByHop(message);
    message.keep_alive(clientKeepAlive);

    if (hasBody && !response.chunked() && response.content_length()) {
        co_await PipeFixedLength(client, upstream, response);
    } else {
        // The engine may stop reading for a while (a paused download):
        // writing to it has no time limit.
        const RelayResult relayed = co_await Relay(*upstream.stream, upstream.buffer, response,
                                                   client, settings_.upstreamTimeout, std::nullopt);
        if (relayed.read || relayed.write) {
            // The site broke off, or the engine went: so does the other side,
            // and the engine sees the load fail.
            upstream.Drop();
            throw beast::system_error(relayed.read ? relayed.read : relayed.write);
        }
    }
    if (!upstreamKeepAlive) {
        upstream.Drop();
    }
    co_return clientKeepAlive;
}

awaitable<bool> SiteRelay::DeliverConverted(beast::tcp_stream& client, Upstream& upstream,
                                            ResponseParser& response, ContentKind kind,
                                            const Asked& asked) {
    const std::string& url = asked.url;
    const bool keepAlive = asked.keepAlive;
    // A declared length is checked now; the limit covers the others.
    const bool tooLong = response.content_length().value_or(0) > MaxConvertedBytes;
    BoundedParser<false, http::string_body> whole(std::move(response));
    whole.body_limit(MaxConvertedBytes);
    beast::error_code error = tooLong ? http::error::body_limit : beast::error_code{};
    if (!tooLong) {
        upstream.stream->expires_after(settings_.upstreamTimeout);
        co_await http::async_read(*upstream.stream, upstream.buffer, whole,
                                  asio::redirect_error(asio::use_awaitable, error));
    }
    if (error == http::error::body_limit) {
        upstream.Drop();
        co_await Answer(client, http::status::bad_gateway, "text/html; charset=utf-8",
                        TooLargePage(url), keepAlive);
        co_return keepAlive;
    }
    if (error) {
        throw beast::system_error(error);
    }
    if (!whole.keep_alive()) {
        upstream.Drop();
    }
    auto& original = whole.get();
    std::string body = std::move(original.body());
    const std::size_t bytes = body.size();
    const std::string encoding = MediaType(original[http::field::content_encoding]);
    bool readable = true;
    if (!encoding.empty() && encoding != "identity") {
        auto inflated = (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate")
                            ? Inflate(body, MaxConvertedBytes)
                            : std::nullopt;
        readable = inflated.has_value();
        body = inflated.value_or(std::string{});
    }

    http::response<http::string_body> converted{original.result(), 11};
    for (const auto& field : original) {
        converted.insert(field.name_string(), field.value());
    }
    EraseHopByHop(converted);
    for (const http::field name : {http::field::content_type, http::field::content_length,
                                   http::field::content_encoding, http::field::transfer_encoding}) {
        converted.erase(name);
    }
    // The site's policy was written for its deck; the page made from it
    // brings its own. An XHTML page stays the site's own, policy and all.
    if (!IsXhtml(kind)) {
        converted.erase("Content-Security-Policy");
    }

    std::optional<ConvertedPage> page;
    if (readable) {
        ConversionPool::Job job =
            ConversionJob(kind, std::move(body), std::string(original[http::field::content_type]),
                          bytes, url, asked.referer, asked.userCharset, decks_);
        page = co_await pool_.Run(std::move(job));
        if (!page) {
            page = NotePageOf(BusyPage(url));
        }
    }
    co_await SendPage(client, converted, std::move(page), url, keepAlive);
    co_return keepAlive;
}

// A game's descriptor, small enough to read whole: its details are recorded
// for the save dialog (by its address and its archive's), and it goes on
// unchanged.
awaitable<bool> SiteRelay::DeliverDescriptor(beast::tcp_stream& client, Upstream& upstream,
                                             ResponseParser& response, const Asked& asked) {
    BoundedParser<false, http::string_body> whole(std::move(response));
    whole.body_limit(MaxJadBytes);
    beast::error_code error;
    upstream.stream->expires_after(settings_.upstreamTimeout);
    co_await http::async_read(*upstream.stream, upstream.buffer, whole,
                              asio::redirect_error(asio::use_awaitable, error));
    if (error == http::error::body_limit) {
        // No length given, and larger than any descriptor: not one.
        upstream.Drop();
        co_await Answer(client, http::status::bad_gateway, {}, {}, asked.keepAlive);
        co_return asked.keepAlive;
    }
    if (error) {
        throw beast::system_error(error);
    }
    if (!whole.keep_alive()) {
        upstream.Drop();
    }
    auto message = whole.release();
    const std::string coding = MediaType(message[http::field::content_encoding]);
    std::optional<std::string> text;
    if (coding.empty() || coding == "identity") {
        text = message.body();
    } else if (coding == "gzip" || coding == "x-gzip" || coding == "deflate") {
        text = Inflate(message.body(), MaxJadBytes);
    }
    if (text) {
        jads_.Record(asked.url, ParseJadDetails(*text, asked.url));
    }
    EraseHopByHop(message);
    message.erase(http::field::transfer_encoding);
    message.keep_alive(asked.keepAlive);
    message.prepare_payload();
    co_await WriteAnswer(client, message);
    co_return asked.keepAlive;
}

// A body of known length (most downloads) goes through as raw bytes, read
// in large pieces: the parser would take them 64 KiB at a time.
awaitable<void> SiteRelay::PipeFixedLength(beast::tcp_stream& client, Upstream& upstream,
                                           ResponseParser& response) {
    std::uint64_t remaining = *response.content_length();
    const std::size_t early =
        static_cast<std::size_t>(std::min<std::uint64_t>(upstream.buffer.size(), remaining));
    // The header and what of the body came with it leave together: a small
    // page then reaches the engine in one piece.
    std::ostringstream header;
    header << response.get().base();
    const std::string headerText = header.str();
    const std::array<asio::const_buffer, 2> first{asio::buffer(headerText),
                                                  asio::buffer(upstream.buffer.data(), early)};
    co_await asio::async_write(client, first, asio::use_awaitable);
    upstream.buffer.consume(early);
    remaining -= early;
    beast::error_code error;
    KernelPipe pipe;
    if (pipe) {
        upstream.stream->expires_never();
        error = co_await SpliceBody(upstream.stream->socket(), client.socket(), remaining, pipe,
                                    settings_.upstreamTimeout);
        remaining = 0;
    }
    std::vector<char> chunk(remaining > 0 ? RelayChunk : 0);
    while (remaining > 0 && !error) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), remaining));
        upstream.stream->expires_after(settings_.upstreamTimeout);
        const std::size_t got = co_await upstream.stream->async_read_some(
            asio::buffer(chunk.data(), want), asio::redirect_error(asio::use_awaitable, error));
        if (!error) {
            co_await asio::async_write(client, asio::buffer(chunk.data(), got),
                                       asio::redirect_error(asio::use_awaitable, error));
        }
        remaining -= error ? 0 : got;
    }
    if (error) {
        // The site broke off, or the engine went: the engine sees the load fail.
        upstream.Drop();
        throw beast::system_error(error);
    }
    upstream.stream->expires_never();
}

}  // namespace tessaly::wap
