// One HTTP request through the request object, with header completion, proxy
// authorisation and cookie collection.
#pragma once

#include <cstdint>

#include "support/text.h"
#include "web/request-object.h"

namespace tessaly {

inline constexpr std::string_view kDefaultObjectRequestAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
inline constexpr int kObjectRequestDefaultTimeoutMs = 15000;

// method: 0 "GET", 1 "POST", 2 "HEAD"; any other value counts as 0.
// timeoutSeconds: -1 keeps the object's own time-outs, 1 or more that many
// seconds, anything else 15 s. proxyAuth: -1 means "omitted" (1 when proxyUser
// is not empty); 1 sends Basic proxy authorisation, other values none.
// Certificate errors are ignored on this path. With `requestObject` that object
// is used and stays the caller's.
Bytes HttpObjectRequest(const Text& address, int method = 0, const Text& body = {},
                        const Text& cookies = {}, Text* cookiesOut = nullptr,
                        Text* headers = nullptr, Text* headersOut = nullptr, int* status = nullptr,
                        bool noRedirect = false, const Bytes& bodyBytes = {},
                        const Text& proxy = {}, int timeoutSeconds = 0, const Text& proxyUser = {},
                        const Text& proxyPassword = {}, int proxyAuth = -1,
                        HttpRequestObject* requestObject = nullptr);

// RFC 4648, standard alphabet, padded, no line breaks.
Text Base64Encode(std::string_view bytes);

}  // namespace tessaly
