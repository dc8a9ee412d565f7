// A local HTTP and HTTPS server for tests, on loopback.
//
// It records every request exactly as it arrived (request line, header lines
// in their order and spelling, body) and answers with scripted replies from
// handlers registered per path. Connections are kept alive, one thread each.
// Build richer services on it by registering handlers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::sim {

struct RecordedRequest {
  std::string requestLine;               // "GET /a?b HTTP/1.1"
  std::string method;                    // "GET"
  std::string target;                    // "/a?b", or the absolute form through a proxy
  std::string version;                   // "HTTP/1.1"
  std::vector<std::string> headerLines;  // as sent, without line ends
  std::string body;                      // after de-chunking
  bool tls = false;
  int localPort = 0;
  std::size_t connection = 0;  // connections are numbered from 1 per server
  std::size_t sequence = 0;    // 1-based place in the record when it arrived

  // The path of the target: up to "?", scheme and host removed from an
  // absolute target.
  std::string Path() const;
  std::string Query() const;  // after "?", "" when none
  // The value of the first header of that name (letter case ignored), trimmed.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
  std::vector<std::string> HeaderNames() const;
};

struct ScriptedReply {
  enum class Kind {
    kNormal,             // status line, headers, body
    kRaw,                // `raw` sent as it is
    kStall,              // nothing is ever sent; the connection stays open
    kStallAfterHeaders,  // status line and headers, then `stallAfterBytes` of the body, then
                         // nothing
    kClose,              // the connection is closed without an answer
  };
  Kind kind = Kind::kNormal;
  int status = 200;
  std::string reason;  // "" gives the usual phrase
  // Sent in this order, exactly as given.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Adds "Content-Length" unless `headers` has one.
  bool addContentLength = true;
  std::chrono::milliseconds delay{0};  // before anything is sent
  std::size_t stallAfterBytes = 0;
  bool closeAfter = false;
  std::string raw;

  static ScriptedReply Ok(std::string body, std::string contentType = "text/html");
  static ScriptedReply Status(int status, std::string body = {});
  static ScriptedReply Redirect(int status, std::string location);
  static ScriptedReply Raw(std::string bytes, bool closeAfter = true);
  static ScriptedReply Stall();
  static ScriptedReply Close();
};

// Called on the connection's thread; must be thread-safe.
using RouteHandler = std::function<ScriptedReply(const RecordedRequest&)>;

class TestServer {
 public:
  struct Options {
    bool http = true;
    bool https = true;
  };

  TestServer();
  explicit TestServer(Options options);
  ~TestServer();  // Stop()
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Binds 127.0.0.1 on free ports and starts listening. False on failure.
  bool Start();
  // Closes listeners and connections (stalled ones included) and joins every
  // thread. Safe to call twice.
  void Stop();

  int HttpPort() const { return httpPort_; }
  int HttpsPort() const { return httpsPort_; }
  std::string HttpBase() const;   // "http://127.0.0.1:PORT"
  std::string HttpsBase() const;  // "https://127.0.0.1:PORT"
  // The CA file that verifies this server's certificate (SharedTestCaBundlePath).
  std::string CaBundlePath() const;

  // A handler for an exact path (query ignored), or for every path starting
  // with `prefix`. The longest match wins; exact paths before prefixes. Without
  // a match the fallback answers, by default 404.
  void Route(std::string path, RouteHandler handler);
  void RoutePrefix(std::string prefix, RouteHandler handler);
  void SetFallback(RouteHandler handler);

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  void ClearRequests();
  // True when at least `count` requests have been recorded within `timeout`.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Connections accepted so far.
  std::size_t ConnectionCount() const;

 private:
  struct Listener;
  struct Connection;
  void AcceptLoop(Listener* listener);
  void ServeConnection(Connection* connection);
  ScriptedReply Dispatch(const RecordedRequest& request);
  bool SleepUnlessStopped(std::chrono::milliseconds duration);

  Options options_;
  int httpPort_ = 0;
  int httpsPort_ = 0;
  void* sslContext_ = nullptr;  // SSL_CTX*

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  bool started_ = false;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::map<std::string, RouteHandler> exactRoutes_;
  std::map<std::string, RouteHandler> prefixRoutes_;
  RouteHandler fallback_;
  std::vector<RecordedRequest> requests_;
  std::size_t connectionCount_ = 0;
};

// A TESSALY_CONNECT_TO value sending wenku.baidu.com and *.baidu.com style hosts
// to this server: each of `hosts` on 80 goes to the http port and on 443 to the
// https port.
std::string ConnectToFor(const TestServer& server, const std::vector<std::string>& hosts);

}  // namespace tessaly::sim
