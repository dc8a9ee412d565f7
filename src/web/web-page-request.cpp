#include "web/web-page-request.h"

#include <climits>

#include "web/curl-transfer.h"

namespace tessaly {

namespace {

// Block size of the header query the page path has always used.
constexpr std::size_t kHeaderBufferSize = 5000;

bool IsSecureAddress(const Text& address) {
  return AsciiLowerText(address.substr(0, 5)) == "https";
}

bool IsPlainHostName(const Text& host) {
  if (host.empty()) return false;
  for (char c : host) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string EncodePath(const Text& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ' || byte >= 0x80) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

// The agent: the caller's User-Agent value (name matched without regard to
// case), else the default.
Text AgentFrom(const Text& headerText) {
  const std::size_t at = FindText(headerText, "User-Agent:", 1, true);
  if (at == 0) return Text(kDefaultPageAgent);
  Text agent = TrimSpaces(TextBetween(headerText, "User-Agent:", "\r\n"));
  if (agent.empty()) {
    // Last line without a line end: its own value, never the lines before it.
    const Text rest = headerText.substr(at - 1 + 11);
    const std::size_t end = rest.find("\r\n");
    agent = TrimSpaces(end == Text::npos ? rest : rest.substr(0, end));
  }
  return agent;
}

TextList CookiePieces(const Text& text) {
  if (text.empty()) return {};
  TextList pieces = SplitText(text, ";");
  if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

}  // namespace

Text UrlHost(const Text& address, bool keepPort) {
  Text lowered = AsciiLowerText(address);
  if (!EndsWith(lowered, "/")) lowered += "/";
  Text host;
  if (StartsWith(lowered, "https://")) {
    host = TextBetween(lowered, "https://", "/");
  } else {
    if (FindText(lowered, "http://") == 0) lowered = "http://" + lowered;
    host = TextBetween(lowered, "http://", "/");
  }
  if (!keepPort) {
    const std::size_t colon = FindText(host, ":");
    if (colon != 0) host.resize(colon - 1);
  }
  return host;
}

int UrlPort(const Text& address) {
  const Text hostAndPort = UrlHost(address, true);
  const std::size_t colon = hostAndPort.rfind(':');
  if (colon != Text::npos) {
    const std::int64_t port = TextToInteger(hostAndPort.substr(colon + 1));
    return (port < INT_MIN || port > INT_MAX) ? -1 : static_cast<int>(port);
  }
  return IsSecureAddress(address) ? 443 : 80;
}

Text UrlPath(const Text& address) {
  const Text host = UrlHost(address, false);
  // Past the scheme, so that a host like "h" is not found inside "http".
  std::size_t from = 1;
  const Text lowered = AsciiLowerText(address);
  if (StartsWith(lowered, "https://"))
    from = 9;
  else if (StartsWith(lowered, "http://"))
    from = 8;
  std::size_t at = FindText(address, host, from, true);
  if (at == 0) at = from;
  const std::size_t slash = FindText(address, "/", at);
  if (slash == 0) return "/";
  return address.substr(slash - 1);
}

Text CookieName(const Text& entry) {
  const std::size_t equals = FindText(entry, "=");
  return TrimSpaces(equals == 0 ? entry : entry.substr(0, equals - 1));
}

bool HasCookieNamed(const TextList& entries, const Text& name) {
  for (const Text& entry : entries)
    if (CookieName(entry) == name) return true;
  return false;
}

Text MergeCookies(Text& oldCookies, Text& newCookies) {
  oldCookies = RemoveSpaces(oldCookies);
  newCookies = RemoveSpaces(newCookies);
  const TextList old = CookiePieces(oldCookies);
  TextList merged = CookiePieces(newCookies);
  for (const Text& entry : old)
    if (!HasCookieNamed(merged, CookieName(entry))) merged.push_back(entry);
  Text result;
  for (const Text& entry : merged) {
    if (EndsWith(entry, "=deleted")) continue;
    result += entry;
    result += "; ";
  }
  if (result.size() >= 2) result.resize(result.size() - 2);
  oldCookies = result;
  return result;
}

Text WebPageRequest(const Text& address, int method, const Text& postText, Text* cookies,
                    Text* newCookies, Text* extraHeaders, Text* locationOrHeaders, bool noRedirect,
                    Bytes* bodyBytes, const Text& proxy, Text* rawHeaders) {
  if (IsRefusedAddress(address)) return {};
  const Text host = UrlHost(address, false);
  const int port = UrlPort(address);
  if (!IsPlainHostName(host) || port < 1 || port > 65535) return {};
  const bool secure = IsSecureAddress(address);
  const Text path = UrlPath(address);

  Text headerText = extraHeaders ? *extraHeaders : Text();
  const Text agent = AgentFrom(headerText);
  const Text cookieText = cookies ? *cookies : Text();

  if (FindText(headerText, "Referer:") == 0)
    headerText += (headerText.empty() ? "Referer: " : "\r\nReferer: ") + address;
  if (FindText(headerText, "Accept:") == 0) headerText += "\r\nAccept: */*";
  if (FindText(headerText, "Accept-Language:") == 0) headerText += "\r\nAccept-Language: zh-cn";
  if (FindText(headerText, "Content-Type:") == 0)
    headerText += "\r\nContent-Type: application/x-www-form-urlencoded";
  if (!cookieText.empty()) headerText += "\r\nCookie: " + cookieText;

  std::vector<std::string> lines;
  for (const Text& line : SplitText(headerText, "\r\n"))
    if (line.find(':') != Text::npos && IsHeaderToken(HeaderName(line))) lines.push_back(line);
  if (!HasHeaderNamed(lines, "User-Agent") && !agent.empty())
    lines.insert(lines.begin(), "User-Agent: " + agent);
  const bool viaProxy = !proxy.empty() && !secure;
  std::vector<std::string> suppressed = {"Accept", "Expect"};
  if (viaProxy) suppressed.push_back("Proxy-Connection");

  Bytes body;
  if (method != 0) body = (bodyBytes && !bodyBytes->empty()) ? *bodyBytes : Bytes(postText);

  CurlTransfer transfer;
  if (!transfer.Usable()) return {};
  CURL* easy = transfer.Easy();
  const std::string url = std::string(secure ? "https://" : "http://") + host + ":" +
                          std::to_string(port) + EncodePath(path);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  if (viaProxy) curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  transfer.SetFollowRedirects(!noRedirect);
  transfer.SetConnectTimeout(kPageConnectTimeoutSeconds * 1000);
  transfer.SetStallTimeout(kPageStallTimeoutSeconds * 1000);
  transfer.SetHeaderLines(lines, suppressed);
  if (method == 1) {
    transfer.SetBody(body);
  } else if (method != 0 && !body.empty()) {
    transfer.SetBody(body);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET");
  }

  const CurlTransfer::Outcome outcome = transfer.Perform();
  if (outcome == CurlTransfer::Outcome::kCancelled || outcome == CurlTransfer::Outcome::kIdle)
    return {};

  Text raw = transfer.HeadersComplete() ? transfer.HeaderBlock() : Text();
  if (raw.size() + 1 > kHeaderBufferSize) raw.clear();

  if (method != 0 && bodyBytes && bodyBytes->empty()) *bodyBytes = postText;
  if (extraHeaders) *extraHeaders = headerText;
  if (rawHeaders) *rawHeaders = raw;

  Text location = locationOrHeaders ? *locationOrHeaders : Text();
  Text collected;
  for (const Text& line : SplitText(raw, "\r\n")) {
    if (FindText(line, "Location:") != 0) location = HeaderValue(line);
    if (FindText(line, "Set-Cookie") != 0) {
      collected += TrimSpaces(TextBetween(line, "Set-Cookie:", ";"));
      collected += "; ";
    }
  }
  if (collected.size() >= 2) collected.resize(collected.size() - 2);
  if (location.empty()) location = raw;
  if (locationOrHeaders) *locationOrHeaders = location;

  Text merged = cookieText;
  MergeCookies(merged, collected);
  if (cookies) *cookies = merged;
  if (newCookies) *newCookies = collected;

  const Bytes& received = transfer.Body();
  const std::size_t zero = received.find('\0');
  return zero == Bytes::npos ? received : received.substr(0, zero);
}

}  // namespace tessaly
