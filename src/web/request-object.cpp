#include "web/request-object.h"

#include <algorithm>
#include <chrono>

#include "web/curl-transfer.h"

namespace tessaly {

struct HttpRequestObject::State {
  CurlTransfer transfer;
  // Kept across Open, like the settings of the object they stand in for.
  int connectMs = kObjectDefaultConnectTimeoutMs;
  int stallMs = kObjectDefaultStallTimeoutMs;
  ProxySetting proxySetting = ProxySetting::kDirect;
  Text proxy;
  bool redirects = true;
  std::int64_t sslIgnore = 0;
  Text userAgent = Text(kDefaultObjectAgent);
  // One request.
  bool opened = false;
  bool async = false;
  bool sent = false;
  Text verb;
  std::string url;
  std::vector<std::string> headers;
};

HttpRequestObject::HttpRequestObject() : state_(std::make_unique<State>()) {}
HttpRequestObject::~HttpRequestObject() = default;

void HttpRequestObject::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  // libcurl's connect time-out covers name resolution too.
  state_->connectMs = connectMs <= 0 ? 0 : connectMs + (resolveMs > 0 ? resolveMs : 0);
  state_->stallMs = (sendMs <= 0 || receiveMs <= 0) ? 0 : std::max(sendMs, receiveMs);
}

void HttpRequestObject::SetProxy(ProxySetting setting, const Text& proxy) {
  state_->proxySetting = setting;
  state_->proxy = proxy;
}

bool HttpRequestObject::Open(const Text& verb, const Text& address, bool async) {
  State& s = *state_;
  s.transfer.Reset();
  s.headers.clear();
  s.sent = false;
  s.async = async;
  s.verb = verb;
  s.url = IsHeaderToken(verb) ? PrepareAbsoluteUrl(address) : std::string();
  s.opened = !s.url.empty() && s.transfer.Usable();
  return s.opened;
}

bool HttpRequestObject::SetRequestHeader(const Text& name, const Text& value) {
  if (!state_->opened || state_->sent || !IsHeaderToken(name)) return false;
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos) return false;
  state_->headers.push_back(name + ": " + value);
  return true;
}

bool HttpRequestObject::Option(int index, std::int64_t value) {
  switch (index) {
    case kOptionEnableRedirects:
      state_->redirects = value != 0;
      return true;
    case kOptionSslErrorIgnoreFlags:
      state_->sslIgnore = value;
      return true;
    default:
      return false;
  }
}

bool HttpRequestObject::Option(int index, const Text& value) {
  if (index != kOptionUserAgent) return false;
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos) return false;
  state_->userAgent = value;
  return true;
}

void HttpRequestObject::Send() { SendBytes({}); }
void HttpRequestObject::Send(const Text& body) { SendBytes(body); }

void HttpRequestObject::SendBytes(const Bytes& body) {
  State& s = *state_;
  if (!s.opened || s.sent) return;
  s.sent = true;
  CurlTransfer& t = s.transfer;
  CURL* easy = t.Easy();
  curl_easy_setopt(easy, CURLOPT_URL, s.url.c_str());
  t.SetFollowRedirects(s.redirects);
  t.SetConnectTimeout(s.connectMs);
  t.SetStallTimeout(s.stallMs);

  // OpenSSL cannot waive single chain errors here, so peer verification goes
  // only when every chain error is waived; the name check has its own flag.
  constexpr std::int64_t kChainErrors =
      kIgnoreUnknownAuthority | kIgnoreWrongUsage | kIgnoreInvalidDate;
  if ((s.sslIgnore & kChainErrors) == kChainErrors)
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
  if (s.sslIgnore & kIgnoreInvalidCommonName) curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);

  std::vector<std::string> lines = s.headers;
  std::vector<std::string> proxyLines;
  const bool secure = StartsWith(s.url, "https", true);
  switch (s.proxySetting) {
    case ProxySetting::kDirect:
      break;
    case ProxySetting::kPreconfigured:
      curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
      break;
    case ProxySetting::kNamedProxy:
      curl_easy_setopt(easy, CURLOPT_PROXY, s.proxy.c_str());
      if (secure) {
        // Through a tunnel the proxy's credentials must not reach the server.
        std::vector<std::string> serverLines;
        for (const std::string& line : lines) {
          if (AsciiLowerText(HeaderName(line)) == "proxy-authorization")
            proxyLines.push_back(line);
          else
            serverLines.push_back(line);
        }
        lines = std::move(serverLines);
        if (!proxyLines.empty()) t.SetProxyHeaderLines(proxyLines);
      }
      break;
  }
  if (!HasHeaderNamed(lines, "User-Agent") && !s.userAgent.empty())
    lines.insert(lines.begin(), "User-Agent: " + s.userAgent);
  std::vector<std::string> suppressed = {"Accept", "Expect"};
  if (s.proxySetting != ProxySetting::kDirect) suppressed.push_back("Proxy-Connection");

  const bool head = s.verb == "HEAD";
  if (head) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (!body.empty() || s.verb == "POST") {
    suppressed.push_back("Content-Type");
    t.SetBody(body);
    if (s.verb != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, s.verb.c_str());
  } else if (s.verb != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, s.verb.c_str());
  }
  t.SetHeaderLines(lines, suppressed);

  if (!t.Start()) return;
  if (s.async) {
    t.Drive(std::chrono::steady_clock::now());
  } else {
    t.Drive(std::nullopt);
  }
}

bool HttpRequestObject::WaitForResponse(double seconds) {
  State& s = *state_;
  if (!s.sent) return false;
  CurlTransfer& t = s.transfer;
  if (t.LastOutcome() == CurlTransfer::Outcome::kRunning) {
    if (seconds < 0) {
      t.Drive(std::nullopt);
    } else {
      const auto span = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(std::min(seconds, 1e7)));
      t.Drive(std::chrono::steady_clock::now() + span);
    }
  }
  return t.LastOutcome() == CurlTransfer::Outcome::kDone;
}

void HttpRequestObject::Abort() { state_->transfer.Abort(); }

Bytes HttpRequestObject::ResponseBody() const {
  const CurlTransfer& t = state_->transfer;
  return t.LastOutcome() == CurlTransfer::Outcome::kDone ? t.Body() : Bytes();
}

int HttpRequestObject::Status() const {
  const CurlTransfer& t = state_->transfer;
  return t.HeadersComplete() ? t.Status() : 0;
}

Text HttpRequestObject::GetResponseHeader(const Text& name) const {
  const CurlTransfer& t = state_->transfer;
  if (!t.HeadersComplete()) return {};
  const Text wanted = AsciiLowerText(name);
  for (const std::string& line : t.HeaderLines())
    if (AsciiLowerText(HeaderName(line)) == wanted) return HeaderValue(line);
  return {};
}

Text HttpRequestObject::GetAllResponseHeaders() const {
  const CurlTransfer& t = state_->transfer;
  if (!t.HeadersComplete()) return {};
  Text all;
  for (const std::string& line : t.HeaderLines()) {
    all += line;
    all += "\r\n";
  }
  return all + "\r\n";
}

Text HttpRequestObject::RawResponseHeaders() const {
  const CurlTransfer& t = state_->transfer;
  return t.HeadersComplete() ? t.HeaderBlock() : Text();
}

}  // namespace tessaly
