#pragma once

#include <string_view>

namespace tessaly::wap {

// Whether a deck at `deckUrl` whose <access> names `domain` and `path` may
// be entered from `referrer`, the address of the page that led to it. An
// empty domain is the deck's own host, an empty path "/"; a relative path is
// taken from the deck's address. The domain matches whole labels from the
// right ("example.com" admits "wap.example.com", not "badexample.com"), the
// path whole segments from the left ("/a" admits "/a/b", not "/ab"). The
// deck itself (another of its cards, a reload) is always admitted. Without a
// referrer there is no telling, and the answer is no.
bool AccessAllows(std::string_view deckUrl, std::string_view domain, std::string_view path,
                  std::string_view referrer);

}  // namespace tessaly::wap
