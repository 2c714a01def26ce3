#pragma once

namespace tessaly::wap {

// How the program presents itself to sites: a feature phone of the WAP 2.0
// period, so portals serve their mobile pages. Every request the gateway
// forwards carries these, and the browser profile uses the same User-Agent
// for the requests the gateway cannot read (https).
inline constexpr char PhoneUserAgent[] =
    "Tessaly/2.0 (WAP 2.0) Profile/MIDP-2.0 Configuration/CLDC-1.1 UP.Browser/6.2";

inline constexpr char PhoneAccept[] =
    "text/vnd.wap.wml, application/vnd.wap.wmlc, application/vnd.wap.xhtml+xml, "
    "application/vnd.wap.wmlscriptc, text/vnd.wap.wmlscript, "
    "application/xhtml+xml, text/html;q=0.9, image/vnd.wap.wbmp, image/png, image/gif, "
    "image/jpeg, */*;q=0.5";

}  // namespace tessaly::wap
