#include "web/curl-transfer.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <mutex>

#include "web/cancel-token.h"
#include "web/web-page-request.h"

namespace tessaly {

namespace {

curl_slist* ToList(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* next = curl_slist_append(list, line.c_str());
    if (!next) break;
    list = next;
  }
  return list;
}

// Hands the shared, already parsed store to the handshake instead of letting
// libcurl parse the bundle again.
CURLcode UseSharedStore(CURL*, void* sslCtx, void* store) {
  SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslCtx), static_cast<X509_STORE*>(store));
  return CURLE_OK;
}

// A poll never sleeps longer than this, so a missed wakeup costs at most this.
constexpr int kPollSliceMs = 100;

}  // namespace

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlTransfer::CurlTransfer() {
  EnsureCurlInitialised();
  easy_ = curl_easy_init();
  multi_ = curl_multi_init();
  settings_ = CurrentWebSettings();
  connectTo_ = ToList(settings_->connectTo);
  if (Usable()) ApplyCommonSettings();
}

CurlTransfer::~CurlTransfer() {
  if (attached_) curl_multi_remove_handle(multi_, easy_);
  if (easy_) curl_easy_cleanup(easy_);
  if (multi_) curl_multi_cleanup(multi_);
  curl_slist_free_all(connectTo_);
  curl_slist_free_all(headers_);
  curl_slist_free_all(proxyHeaders_);
}

void CurlTransfer::ApplyCommonSettings() {
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
  // Direct unless a path asks otherwise: the proxy environment is not ours.
  curl_easy_setopt(easy_, CURLOPT_PROXY, "");
  if (connectTo_) curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_);
  if (settings_->caStore) {
    curl_easy_setopt(easy_, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy_, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, &UseSharedStore);
    curl_easy_setopt(easy_, CURLOPT_SSL_CTX_DATA, settings_->caStore.get());
  } else if (!settings_->caBlob.empty()) {
    curl_blob blob{};
    blob.data = const_cast<char*>(settings_->caBlob.data());
    blob.len = settings_->caBlob.size();
    blob.flags = CURL_BLOB_NOCOPY;  // settings_ outlives the handle
    curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
  }
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
}

void CurlTransfer::Reset() {
  if (!Usable()) return;
  Abort();
  curl_easy_reset(easy_);
  curl_slist_free_all(headers_);
  curl_slist_free_all(proxyHeaders_);
  headers_ = nullptr;
  proxyHeaders_ = nullptr;
  followRedirects_ = false;
  stopAfterHeaders_ = false;
  stoppedAfterHeaders_ = false;
  outcome_ = Outcome::kIdle;
  code_ = CURLE_OK;
  body_.clear();
  headerBlock_.clear();
  status_ = 0;
  blockHasLocation_ = false;
  headersComplete_ = false;
  ApplyCommonSettings();
}

void CurlTransfer::SetHeaderLines(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& suppressed) {
  std::vector<std::string> converted;
  converted.reserve(lines.size() + suppressed.size());
  for (const std::string& line : lines) converted.push_back(CurlHeaderLine(line));
  for (const std::string& name : suppressed)
    if (!HasHeaderNamed(lines, name)) converted.push_back(name + ":");
  curl_slist_free_all(headers_);
  headers_ = ToList(converted);
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
}

void CurlTransfer::SetProxyHeaderLines(const std::vector<std::string>& lines) {
  curl_slist_free_all(proxyHeaders_);
  proxyHeaders_ = ToList(lines);
  curl_easy_setopt(easy_, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
  curl_easy_setopt(easy_, CURLOPT_PROXYHEADER, proxyHeaders_);
}

void CurlTransfer::SetBody(const Bytes& body) {
  curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(easy_, CURLOPT_COPYPOSTFIELDS, body.data());
}

void CurlTransfer::SetFollowRedirects(bool follow) {
  followRedirects_ = follow;
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
}

void CurlTransfer::SetConnectTimeout(int ms) {
  curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ms > 0 ? ms : 0));
}

void CurlTransfer::SetStallTimeout(int ms) {
  if (ms <= 0) {
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, 0L);
    return;
  }
  // Below one byte a second for the whole period counts as stalled.
  curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, static_cast<long>((ms + 999) / 1000));
}

bool CurlTransfer::Start() {
  if (!Usable() || attached_) return false;
  if (CurrentThreadCancelled()) {
    outcome_ = Outcome::kCancelled;
    return false;
  }
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    outcome_ = Outcome::kFailed;
    return false;
  }
  attached_ = true;
  outcome_ = Outcome::kRunning;
  return true;
}

void CurlTransfer::Finish(CURLcode code) {
  curl_multi_remove_handle(multi_, easy_);
  attached_ = false;
  code_ = code;
  outcome_ = (code == CURLE_OK || stoppedAfterHeaders_) ? Outcome::kDone : Outcome::kFailed;
}

CurlTransfer::Outcome CurlTransfer::Drive(
    std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (!attached_) return outcome_;
  const CancelTokenPtr token = CurrentCancelToken();
  std::uint64_t waker = 0;
  if (token) {
    CURLM* multi = multi_;
    waker = token->AddWaker([multi] { curl_multi_wakeup(multi); });
  }
  while (true) {
    if (token && token->IsCancelled()) {
      Abort();
      outcome_ = Outcome::kCancelled;
      break;
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    int queued = 0;
    bool finished = false;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
        Finish(message->data.result);
        finished = true;
        break;
      }
    }
    if (finished) break;
    int waitMs = kPollSliceMs;
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      waitMs = static_cast<int>(std::min<long long>(left.count(), kPollSliceMs));
    }
    curl_multi_poll(multi_, nullptr, 0, waitMs, nullptr);
  }
  if (token) token->RemoveWaker(waker);
  return outcome_;
}

CurlTransfer::Outcome CurlTransfer::Perform() {
  if (!Start()) return outcome_;
  return Drive(std::nullopt);
}

void CurlTransfer::Abort() {
  if (attached_) {
    curl_multi_remove_handle(multi_, easy_);
    attached_ = false;
    outcome_ = Outcome::kFailed;
    code_ = CURLE_ABORTED_BY_CALLBACK;
  }
}

std::vector<std::string> CurlTransfer::HeaderLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < headerBlock_.size()) {
    std::size_t end = headerBlock_.find("\r\n", start);
    if (end == std::string::npos) end = headerBlock_.size();
    if (end > start) lines.push_back(headerBlock_.substr(start, end - start));
    start = end + 2;
  }
  if (!lines.empty() && StartsWith(lines.front(), "HTTP/")) lines.erase(lines.begin());
  return lines;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  const size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWith(line, "HTTP/")) {
    // Each response (redirect, 1xx) starts a fresh block: only the last counts.
    transfer->headerBlock_.clear();
    transfer->headersComplete_ = false;
    transfer->blockHasLocation_ = false;
    const std::size_t space = line.find(' ');
    transfer->status_ = space == std::string_view::npos
                            ? 0
                            : static_cast<int>(TextToInteger(line.substr(space + 1)));
  } else if (!line.empty() && AsciiLowerText(HeaderName(line)) == "location") {
    transfer->blockHasLocation_ = true;
  }
  transfer->headerBlock_.append(line);
  transfer->headerBlock_.append("\r\n");
  if (line.empty()) {
    transfer->headersComplete_ = true;
    const int status = transfer->status_;
    const bool interim = status >= 100 && status < 200;
    const bool redirected =
        transfer->followRedirects_ && status >= 300 && status < 400 && transfer->blockHasLocation_;
    if (transfer->stopAfterHeaders_ && !interim && !redirected) {
      transfer->stoppedAfterHeaders_ = true;
      return 0;
    }
  }
  return length;
}

size_t CurlTransfer::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  if (transfer->stopAfterHeaders_) return 0;
  transfer->body_.append(data, size * count);
  return size * count;
}

std::string CurlHeaderLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon != std::string_view::npos &&
      line.find_first_not_of(' ', colon + 1) == std::string_view::npos) {
    return std::string(line.substr(0, colon)) + ";";
  }
  return std::string(line);
}

bool IsHeaderToken(std::string_view name) {
  if (name.empty()) return false;
  static constexpr std::string_view kSpecials = "!#$%&'*+-.^_`|~";
  for (char c : name) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && kSpecials.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool HasHeaderNamed(const std::vector<std::string>& lines, std::string_view name) {
  const Text wanted = AsciiLowerText(name);
  for (const std::string& line : lines)
    if (line.find(':') != std::string::npos && AsciiLowerText(HeaderName(line)) == wanted)
      return true;
  return false;
}

bool IsRefusedAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressLength) return true;
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::string PrepareAbsoluteUrl(std::string_view address) {
  if (IsRefusedAddress(address)) return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(address.size());
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ' || byte >= 0x80) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  CURLU* url = curl_url();
  if (!url) return {};
  std::string result;
  if (curl_url_set(url, CURLUPART_URL, encoded.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host) {
      const Text lowered = AsciiLowerText(scheme ? scheme : "");
      if (lowered == "http" || lowered == "https") result = encoded;
    }
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(url);
  return result;
}

}  // namespace tessaly
