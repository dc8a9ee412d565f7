#include "web/remote-content-length.h"

#include "web/curl-transfer.h"
#include "web/web-page-request.h"

namespace tessaly {

std::int64_t RemoteContentLength(const Text& address) {
  const std::string url = PrepareAbsoluteUrl(address);
  if (url.empty()) return 0;
  CurlTransfer transfer;
  if (!transfer.Usable()) return 0;
  CURL* easy = transfer.Easy();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  // The user's proxy environment applies on this path.
  curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
  transfer.SetFollowRedirects(true);
  transfer.SetConnectTimeout(kPageConnectTimeoutSeconds * 1000);
  transfer.SetStallTimeout(kPageStallTimeoutSeconds * 1000);
  // An empty agent: no User-Agent line, and no default Accept either.
  transfer.SetHeaderLines({}, {"Accept", "Proxy-Connection"});
  transfer.StopAfterHeaders();
  if (transfer.Perform() != CurlTransfer::Outcome::kDone || !transfer.HeadersComplete()) return 0;
  for (const std::string& line : transfer.HeaderLines()) {
    if (AsciiLowerText(HeaderName(line)) != "content-length") continue;
    const std::int64_t length = TextToInteger(HeaderValue(line));
    return length > 0 ? length : 0;
  }
  return 0;
}

}  // namespace tessaly
