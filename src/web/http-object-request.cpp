#include "web/http-object-request.h"

#include <climits>

namespace tessaly {

Text Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest != 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

Bytes HttpObjectRequest(const Text& address, int method, const Text& body, const Text& cookies,
                        Text* cookiesOut, Text* headers, Text* headersOut, int* status,
                        bool noRedirect, const Bytes& bodyBytes, const Text& proxy,
                        int timeoutSeconds, const Text& proxyUser, const Text& proxyPassword,
                        int proxyAuth, HttpRequestObject* requestObject) {
  if (method < 0 || method > 2) method = 0;
  static constexpr const char* kVerbs[] = {"GET", "POST", "HEAD"};
  HttpRequestObject own;
  HttpRequestObject& object = requestObject ? *requestObject : own;

  if (timeoutSeconds != -1) {
    // Clamped so that a huge count of seconds cannot overflow.
    const long long ms = timeoutSeconds >= 1 ? static_cast<long long>(timeoutSeconds) * 1000
                                             : kObjectRequestDefaultTimeoutMs;
    const int limit = static_cast<int>(std::min<long long>(ms, INT_MAX / 2));
    object.SetTimeouts(limit, limit, limit, limit);
  }
  if (!proxy.empty()) object.SetProxy(ProxySetting::kNamedProxy, proxy);
  object.Open(kVerbs[method], address, false);
  if (!proxy.empty() && !proxyUser.empty()) {
    const int auth = proxyAuth == -1 ? 1 : proxyAuth;
    if (auth == 1)
      object.SetRequestHeader("Proxy-Authorization",
                              "Basic " + Base64Encode(proxyUser + ":" + proxyPassword));
  }
  if (noRedirect) object.Option(kOptionEnableRedirects, 0);
  object.Option(kOptionSslErrorIgnoreFlags, kIgnoreCertificateErrors);

  Text headerText = headers ? *headers : Text();
  if (headerText.empty())
    headerText = "Accept: */*";
  else if (FindText(headerText, "Accept:") == 0)
    headerText += "\r\nAccept: */*";
  if (FindText(headerText, "Referer:") == 0) headerText += "\r\nReferer: " + address;
  if (FindText(headerText, "Accept-Language:") == 0) headerText += "\r\nAccept-Language: zh-cn";
  if (FindText(headerText, "User-Agent:") == 0)
    headerText += "\r\nUser-Agent: " + Text(kDefaultObjectRequestAgent);
  if (FindText(headerText, "Content-Type:") == 0)
    headerText += "\r\nContent-Type: application/x-www-form-urlencoded";

  if (!cookies.empty()) object.SetRequestHeader("Cookie", cookies);
  for (const Text& line : SplitText(headerText, "\r\n"))
    if (!line.empty()) object.SetRequestHeader(HeaderName(line), HeaderValue(line));

  if (!bodyBytes.empty())
    object.SendBytes(bodyBytes);
  else
    object.Send(body);

  Bytes received = object.ResponseBody();
  const Text block = ReplaceText(object.GetAllResponseHeaders(), "Set-Cookie", "Set-Cookie", true);
  const int code = object.Status();

  Text collected;
  for (const Text& line : SplitText(block, "\r\n")) {
    if (FindText(line, "Set-Cookie") == 0) continue;
    if (FindText(line, ";") != 0)
      collected += TrimSpaces(TextBetween(line, "Set-Cookie:", ";"));
    else
      collected += TrimSpaces(ReplaceText(line, "Set-Cookie:", "", true));
    collected += "; ";
  }
  if (collected.size() >= 2) collected.resize(collected.size() - 2);

  if (headers) *headers = headerText;
  if (headersOut) *headersOut = block;
  if (status) *status = code;
  if (cookiesOut) *cookiesOut = collected;
  return received;
}

}  // namespace tessaly
