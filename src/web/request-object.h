// A small HTTP request object: one request at a time, created per use and used
// on one thread only (never shared).
//
// Defaults: no proxy (proxy environment ignored), redirects followed (at most
// kMaxRedirects), certificates verified against the system's store plus
// TESSALY_CA_BUNDLE, connect time-out 60 s and a stall time-out of 30 s without
// any byte moving. With no header set by the caller only Host and
// "User-Agent: " kDefaultObjectAgent are sent, plus Content-Length with a body.
//
// Every transfer honours the calling thread's cancel token (cancel-token.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "support/text.h"

namespace tessaly {

inline constexpr std::string_view kDefaultObjectAgent = "Mozilla/4.0 (compatible; Tessaly/1.3)";

inline constexpr int kObjectDefaultConnectTimeoutMs = 60000;
inline constexpr int kObjectDefaultStallTimeoutMs = 30000;

enum class ProxySetting {
  kPreconfigured = 0,  // the proxy environment variables
  kDirect = 1,
  kNamedProxy = 2,
};

// Option indexes understood by Option().
inline constexpr int kOptionUserAgent = 0;
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kOptionEnableRedirects = 6;

// Certificate errors that Option(kOptionSslErrorIgnoreFlags, ...) can ignore.
inline constexpr std::int64_t kIgnoreUnknownAuthority = 0x0100;
inline constexpr std::int64_t kIgnoreWrongUsage = 0x0200;
inline constexpr std::int64_t kIgnoreInvalidCommonName = 0x1000;
inline constexpr std::int64_t kIgnoreInvalidDate = 0x2000;
inline constexpr std::int64_t kIgnoreCertificateErrors = 0x3300;

class HttpRequestObject {
 public:
  HttpRequestObject();
  ~HttpRequestObject();
  HttpRequestObject(const HttpRequestObject&) = delete;
  HttpRequestObject& operator=(const HttpRequestObject&) = delete;

  // Milliseconds; 0 or a negative value means no limit for that phase (the
  // transfer then still ends on cancellation). Resolve and connect together
  // bound the connection; the longer of send and receive bounds a stall.
  void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
  void SetProxy(ProxySetting setting, const Text& proxy = {});

  // Drops any earlier request and its headers. The address needs an http or
  // https scheme; a refused address makes Open return false and every later call
  // until the next Open do nothing.
  bool Open(const Text& verb, const Text& address, bool async = false);

  // Appends "name: value". Names that are empty or not a header token, and
  // values holding a line break, are refused (false). A "User-Agent" header
  // replaces the default agent.
  bool SetRequestHeader(const Text& name, const Text& value);

  // kOptionEnableRedirects: 0 off, else on. kOptionSslErrorIgnoreFlags: a mask of
  // the kIgnore... flags. kOptionUserAgent: see the text overload. Other indexes
  // are refused (false).
  bool Option(int index, std::int64_t value);
  bool Option(int index, const Text& value);

  // Synchronous: returns when the response has arrived or the request failed.
  // Asynchronous: starts the request; WaitForResponse drives it.
  void Send();
  void Send(const Text& body);
  void SendBytes(const Bytes& body);

  // True only when the whole response has arrived within `seconds` (a negative
  // value waits without limit, but never beyond the time-outs or a
  // cancellation). A request that failed returns false at once.
  bool WaitForResponse(double seconds);

  // Stops the request in progress.
  void Abort();

  // The body of a complete response; empty otherwise.
  Bytes ResponseBody() const;
  // The final response's status code; 0 when none arrived.
  int Status() const;
  // The value of the final response's first header of that name (letter case
  // ignored); "" when absent.
  Text GetResponseHeader(const Text& name) const;
  // The final response's header lines, each followed by "\r\n", then "\r\n";
  // the status line is not included. "" when no response arrived.
  Text GetAllResponseHeaders() const;
  // The final response's status line followed by its header lines, each ended
  // by "\r\n", then "\r\n".
  Text RawResponseHeaders() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tessaly
