// The libcurl engine under every request path (internal to the web library).
//
// One easy handle driven by its own multi handle, so that a wait can be cut
// short by curl_multi_wakeup from a cancelling thread.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"
#include "web/web-settings.h"

namespace tessaly {

void EnsureCurlInitialised();

class CurlTransfer {
 public:
  enum class Outcome { kIdle, kRunning, kDone, kFailed, kCancelled };

  CurlTransfer();
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  bool Usable() const { return easy_ && multi_; }
  CURL* Easy() const { return easy_; }

  // Back to a fresh request with the common settings; the multi handle keeps
  // its connections.
  void Reset();

  // Exact header lines for the server, in order (an empty value is kept), and
  // the names of libcurl's own headers to leave out.
  void SetHeaderLines(const std::vector<std::string>& lines,
                      const std::vector<std::string>& suppressed = {});
  // Lines sent only to a proxy's CONNECT (the server never sees them).
  void SetProxyHeaderLines(const std::vector<std::string>& lines);
  void SetBody(const Bytes& body);
  void SetFollowRedirects(bool follow);
  // Milliseconds; 0 or less means none.
  void SetConnectTimeout(int ms);
  void SetStallTimeout(int ms);
  // Ends the transfer once the final response's headers are in (the body is
  // never read); it then counts as done.
  void StopAfterHeaders() { stopAfterHeaders_ = true; }

  bool Start();
  // Drives the transfer until it ends, `deadline` passes (kRunning) or the
  // calling thread's cancel token fires.
  Outcome Drive(std::optional<std::chrono::steady_clock::time_point> deadline);
  Outcome Perform();
  void Abort();

  Outcome LastOutcome() const { return outcome_; }
  CURLcode Code() const { return code_; }
  const Bytes& Body() const { return body_; }
  // The final response's status line and header lines, each ended by "\r\n",
  // plus the closing "\r\n" when it arrived.
  const std::string& HeaderBlock() const { return headerBlock_; }
  std::vector<std::string> HeaderLines() const;
  int Status() const { return status_; }
  bool HeadersComplete() const { return headersComplete_; }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  void ApplyCommonSettings();
  void Finish(CURLcode code);

  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  bool attached_ = false;
  std::shared_ptr<const WebSettings> settings_;
  curl_slist* connectTo_ = nullptr;
  curl_slist* headers_ = nullptr;
  curl_slist* proxyHeaders_ = nullptr;
  bool followRedirects_ = false;
  bool stopAfterHeaders_ = false;
  bool stoppedAfterHeaders_ = false;

  Outcome outcome_ = Outcome::kIdle;
  CURLcode code_ = CURLE_OK;
  Bytes body_;
  std::string headerBlock_;
  int status_ = 0;
  bool blockHasLocation_ = false;
  bool headersComplete_ = false;
};

// The line as libcurl must be given it to send it unchanged: "Name:" with no
// value would remove the header, so it becomes "Name;".
std::string CurlHeaderLine(std::string_view line);
// True when some line's name equals `name`, letter case ignored.
bool HasHeaderNamed(const std::vector<std::string>& lines, std::string_view name);
bool IsHeaderToken(std::string_view name);

// An address no request path will touch: empty, too long, or holding control
// characters.
bool IsRefusedAddress(std::string_view address);
// An absolute http or https URL ready for libcurl (spaces and bytes above 0x7F
// percent-encoded), or "" when it is refused or malformed.
std::string PrepareAbsoluteUrl(std::string_view address);

}  // namespace tessaly
