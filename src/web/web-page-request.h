// Fetching a web page with cookie merging.
//
// What goes on the wire: the request line (HTTP/1.1), Host, User-Agent, the
// header text built from extraHeaders in its order, and Content-Length when a
// body is sent. Nothing else: no Accept-Encoding, Expect, Connection or Pragma,
// no cookie engine, no cache. Redirects are followed unless noRedirect (http to
// https included). Without `proxy` the connection is direct whatever the proxy
// environment says; `proxy` is used for http addresses only. https is verified
// against the system's store plus TESSALY_CA_BUNDLE (web-settings.h).
//
// A transfer gives up when it cannot connect within kPageConnectTimeoutSeconds
// or when no byte moves for kPageStallTimeoutSeconds, and ends at once when the
// calling thread's cancel token is cancelled (cancel-token.h).
#pragma once

#include <vector>

#include "support/text.h"

namespace tessaly {

inline constexpr int kPageConnectTimeoutSeconds = 20;
inline constexpr int kPageStallTimeoutSeconds = 30;
inline constexpr int kMaxRedirects = 10;
// Longer addresses are refused without a request.
inline constexpr std::size_t kMaxAddressLength = 16384;

inline constexpr std::string_view kDefaultPageAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 2Pac; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

// method: 0 no body; 1 "POST"; any other value "GET" with a body as for POST.
// Returns the body up to its first zero byte. A refused address (empty, no host,
// bad port, control characters, too long) or a cancelled thread returns "" and
// leaves every out-argument unchanged.
Text WebPageRequest(const Text& address, int method = 0, const Text& postText = {},
                    Text* cookies = nullptr, Text* newCookies = nullptr,
                    Text* extraHeaders = nullptr, Text* locationOrHeaders = nullptr,
                    bool noRedirect = false, Bytes* bodyBytes = nullptr, const Text& proxy = {},
                    Text* rawHeaders = nullptr);

Text UrlHost(const Text& address, bool keepPort = false);
int UrlPort(const Text& address);
Text UrlPath(const Text& address);

// Merges newCookies into oldCookies (new entries first, then surviving old ones,
// "=deleted" entries dropped); both lose all their spaces.
Text MergeCookies(Text& oldCookies, Text& newCookies);
Text CookieName(const Text& entry);
bool HasCookieNamed(const TextList& entries, const Text& name);

}  // namespace tessaly
