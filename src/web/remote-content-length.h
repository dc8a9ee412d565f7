// The size a server announces for an address, without reading the body.
#pragma once

#include <cstdint>

#include "support/text.h"

namespace tessaly {

// A GET of the address whose body is never read; redirects are followed and the
// user's proxy environment (http_proxy, https_proxy, no_proxy) is honoured.
// The Content-Length of the final response; 0 when absent, negative, or the
// request fails, is refused or is cancelled. Same time-outs as the page request.
std::int64_t RemoteContentLength(const Text& address);

}  // namespace tessaly
