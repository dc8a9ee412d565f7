#include "test-server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>

#include "test-certificates.h"

namespace tessaly::sim {

namespace {

constexpr std::size_t kMaxHeadBytes = 1 << 20;
constexpr int kPollSliceMs = 50;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 416:
      return "Range Not Satisfiable";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

SSL_CTX* MakeServerContext() {
  const TestCertificates& certificates = SharedTestCertificates();
  if (certificates.leafCertPem.empty()) return nullptr;
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (!context) return nullptr;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  BIO* certBio = BIO_new_mem_buf(certificates.leafCertPem.data(),
                                 static_cast<int>(certificates.leafCertPem.size()));
  BIO* keyBio = BIO_new_mem_buf(certificates.leafKeyPem.data(),
                                static_cast<int>(certificates.leafKeyPem.size()));
  X509* cert = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
  EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
  const bool ok = cert && key && SSL_CTX_use_certificate(context, cert) == 1 &&
                  SSL_CTX_use_PrivateKey(context, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  BIO_free(certBio);
  BIO_free(keyBio);
  if (!ok) {
    SSL_CTX_free(context);
    return nullptr;
  }
  return context;
}

int ListenOnLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

std::string RecordedRequest::Path() const {
  std::string_view rest = target;
  const std::size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos && rest.front() != '/') {
    const std::size_t slash = rest.find('/', scheme + 3);
    rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
  }
  const std::size_t query = rest.find('?');
  return std::string(query == std::string_view::npos ? rest : rest.substr(0, query));
}

std::string RecordedRequest::Query() const {
  const std::size_t query = target.find('?');
  return query == std::string::npos ? std::string() : target.substr(query + 1);
}

std::string RecordedRequest::Header(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const std::string& line : headerLines) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos &&
        Lower(Trim(std::string_view(line).substr(0, colon))) == wanted)
      return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  return {};
}

bool RecordedRequest::HasHeader(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const std::string& line : headerLines) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos &&
        Lower(Trim(std::string_view(line).substr(0, colon))) == wanted)
      return true;
  }
  return false;
}

std::vector<std::string> RecordedRequest::HeaderNames() const {
  std::vector<std::string> names;
  for (const std::string& line : headerLines)
    names.push_back(line.substr(0, std::min(line.find(':'), line.size())));
  return names;
}

ScriptedReply ScriptedReply::Ok(std::string body, std::string contentType) {
  ScriptedReply reply;
  reply.body = std::move(body);
  if (!contentType.empty()) reply.headers.emplace_back("Content-Type", std::move(contentType));
  return reply;
}

ScriptedReply ScriptedReply::Status(int status, std::string body) {
  ScriptedReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

ScriptedReply ScriptedReply::Redirect(int status, std::string location) {
  ScriptedReply reply;
  reply.status = status;
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

ScriptedReply ScriptedReply::Raw(std::string bytes, bool closeAfter) {
  ScriptedReply reply;
  reply.kind = Kind::kRaw;
  reply.raw = std::move(bytes);
  reply.closeAfter = closeAfter;
  return reply;
}

ScriptedReply ScriptedReply::Stall() {
  ScriptedReply reply;
  reply.kind = Kind::kStall;
  return reply;
}

ScriptedReply ScriptedReply::Close() {
  ScriptedReply reply;
  reply.kind = Kind::kClose;
  return reply;
}

struct TestServer::Listener {
  int fd = -1;
  int port = 0;
  bool tls = false;
  std::thread thread;
};

struct TestServer::Connection {
  int fd = -1;
  SSL* ssl = nullptr;
  bool tls = false;
  int localPort = 0;
  std::size_t number = 0;
  std::atomic<bool> finished{false};
  std::thread thread;
  std::string buffer;

  // Bytes read into `buffer`; false at end of stream or error.
  bool ReadMore() {
    char chunk[16384];
    long got = 0;
    if (ssl) {
      got = SSL_read(ssl, chunk, sizeof chunk);
    } else {
      got = ::recv(fd, chunk, sizeof chunk, 0);
    }
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  bool Write(std::string_view data) {
    while (!data.empty()) {
      long sent = 0;
      if (ssl) {
        sent = SSL_write(ssl, data.data(),
                         static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)));
      } else {
        sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      }
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
};

TestServer::TestServer() : TestServer(Options{}) {}

TestServer::TestServer(Options options) : options_(options) {
  // OpenSSL's exit handler must run after this server's destructor.
  OPENSSL_init_ssl(0, nullptr);
  fallback_ = [](const RecordedRequest&) { return ScriptedReply::Status(404, "not found"); };
}

TestServer::~TestServer() { Stop(); }

std::string TestServer::HttpBase() const { return "http://127.0.0.1:" + std::to_string(httpPort_); }
std::string TestServer::HttpsBase() const {
  return "https://127.0.0.1:" + std::to_string(httpsPort_);
}
std::string TestServer::CaBundlePath() const { return SharedTestCaBundlePath(); }

bool TestServer::Start() {
  {
    std::lock_guard lock(mutex_);
    if (started_) return false;
    started_ = true;
  }
  // A peer that hangs up mid-reply must not kill the test process; SSL_write
  // has no MSG_NOSIGNAL.
  static std::once_flag ignorePipe;
  std::call_once(ignorePipe, [] { std::signal(SIGPIPE, SIG_IGN); });

  if (options_.https) {
    sslContext_ = MakeServerContext();
    if (!sslContext_) return false;
  }
  for (const bool tls : {false, true}) {
    if ((tls && !options_.https) || (!tls && !options_.http)) continue;
    auto listener = std::make_unique<Listener>();
    listener->tls = tls;
    listener->fd = ListenOnLoopback(listener->port);
    if (listener->fd < 0) {
      Stop();
      return false;
    }
    (tls ? httpsPort_ : httpPort_) = listener->port;
    Listener* raw = listener.get();
    {
      std::lock_guard lock(mutex_);
      listeners_.push_back(std::move(listener));
    }
    raw->thread = std::thread([this, raw] { AcceptLoop(raw); });
  }
  return true;
}

void TestServer::Stop() {
  std::vector<std::unique_ptr<Listener>> listeners;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    listeners.swap(listeners_);
  }
  changed_.notify_all();
  for (auto& listener : listeners) {
    if (listener->thread.joinable()) listener->thread.join();
    if (listener->fd >= 0) ::close(listener->fd);
  }
  std::vector<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
    for (auto& connection : connections) ::shutdown(connection->fd, SHUT_RDWR);
  }
  for (auto& connection : connections) {
    if (connection->thread.joinable()) connection->thread.join();
    if (connection->ssl) SSL_free(connection->ssl);
    ::close(connection->fd);
  }
  if (sslContext_) {
    SSL_CTX_free(static_cast<SSL_CTX*>(sslContext_));
    sslContext_ = nullptr;
  }
}

void TestServer::AcceptLoop(Listener* listener) {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      // Reap connections that have ended, so a long run does not pile threads up.
      for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->finished.load()) {
          (*it)->thread.join();
          if ((*it)->ssl) SSL_free((*it)->ssl);
          ::close((*it)->fd);
          it = connections_.erase(it);
        } else {
          ++it;
        }
      }
    }
    pollfd watch{listener->fd, POLLIN, 0};
    if (::poll(&watch, 1, kPollSliceMs) <= 0) continue;
    const int fd = ::accept4(listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->tls = listener->tls;
    connection->localPort = listener->port;
    Connection* raw = connection.get();
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    connection->number = ++connectionCount_;
    connections_.push_back(std::move(connection));
    raw->thread = std::thread([this, raw] { ServeConnection(raw); });
  }
}

bool TestServer::SleepUnlessStopped(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

ScriptedReply TestServer::Dispatch(const RecordedRequest& request) {
  RouteHandler handler;
  {
    std::lock_guard lock(mutex_);
    const std::string path = request.Path();
    if (auto exact = exactRoutes_.find(path); exact != exactRoutes_.end()) {
      handler = exact->second;
    } else {
      std::size_t best = 0;
      for (const auto& [prefix, candidate] : prefixRoutes_) {
        if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best) {
          best = prefix.size();
          handler = candidate;
        }
      }
    }
    if (!handler) handler = fallback_;
  }
  return handler(request);
}

void TestServer::ServeConnection(Connection* connection) {
  auto finish = [connection] { connection->finished.store(true); };
  if (connection->tls) {
    connection->ssl = SSL_new(static_cast<SSL_CTX*>(sslContext_));
    if (!connection->ssl || SSL_set_fd(connection->ssl, connection->fd) != 1 ||
        SSL_accept(connection->ssl) != 1) {
      ERR_clear_error();
      return finish();
    }
  }
  // Waits until the peer closes the connection or the server stops.
  auto stall = [this, connection] {
    while (true) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
      }
      pollfd watch{connection->fd, POLLIN, 0};
      const int ready = ::poll(&watch, 1, kPollSliceMs);
      if (ready < 0) return;
      if (ready > 0) {
        connection->buffer.clear();
        if (!connection->ReadMore()) return;
      }
    }
  };

  while (true) {
    std::size_t headEnd;
    while ((headEnd = connection->buffer.find("\r\n\r\n")) == std::string::npos) {
      if (connection->buffer.size() > kMaxHeadBytes || !connection->ReadMore()) return finish();
    }
    RecordedRequest request;
    request.tls = connection->tls;
    request.localPort = connection->localPort;
    request.connection = connection->number;
    const std::string head = connection->buffer.substr(0, headEnd);
    connection->buffer.erase(0, headEnd + 4);
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
      std::size_t end = head.find("\r\n", start);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(start, end - start);
      if (first)
        request.requestLine = std::move(line);
      else
        request.headerLines.push_back(std::move(line));
      first = false;
      start = end + 2;
    }
    {
      const std::string& line = request.requestLine;
      const std::size_t a = line.find(' ');
      const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
      request.method = line.substr(0, a);
      if (a != std::string::npos)
        request.target = line.substr(a + 1, b == std::string::npos ? b : b - a - 1);
      if (b != std::string::npos) request.version = line.substr(b + 1);
    }
    if (Lower(request.Header("Expect")) == "100-continue" &&
        !connection->Write("HTTP/1.1 100 Continue\r\n\r\n"))
      return finish();
    if (Lower(request.Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
      while (true) {
        std::size_t lineEnd;
        while ((lineEnd = connection->buffer.find("\r\n")) == std::string::npos)
          if (!connection->ReadMore()) return finish();
        const std::size_t size =
            std::strtoul(connection->buffer.substr(0, lineEnd).c_str(), nullptr, 16);
        connection->buffer.erase(0, lineEnd + 2);
        if (size == 0) {
          while ((lineEnd = connection->buffer.find("\r\n")) == std::string::npos)
            if (!connection->ReadMore()) return finish();
          connection->buffer.erase(0, lineEnd + 2);
          break;
        }
        while (connection->buffer.size() < size + 2)
          if (!connection->ReadMore()) return finish();
        request.body.append(connection->buffer, 0, size);
        connection->buffer.erase(0, size + 2);
      }
    } else if (const std::string length = request.Header("Content-Length"); !length.empty()) {
      const std::size_t size = std::strtoull(length.c_str(), nullptr, 10);
      while (connection->buffer.size() < size)
        if (!connection->ReadMore()) return finish();
      request.body = connection->buffer.substr(0, size);
      connection->buffer.erase(0, size);
    }
    {
      std::lock_guard lock(mutex_);
      request.sequence = requests_.size() + 1;
      requests_.push_back(request);
    }
    changed_.notify_all();

    const ScriptedReply reply = Dispatch(request);
    if (reply.delay.count() > 0 && !SleepUnlessStopped(reply.delay)) return finish();
    bool keepOpen = !reply.closeAfter && Lower(request.Header("Connection")) != "close" &&
                    request.version != "HTTP/1.0";
    switch (reply.kind) {
      case ScriptedReply::Kind::kClose:
        return finish();
      case ScriptedReply::Kind::kStall:
        stall();
        return finish();
      case ScriptedReply::Kind::kRaw:
        if (!connection->Write(reply.raw)) return finish();
        break;
      case ScriptedReply::Kind::kNormal:
      case ScriptedReply::Kind::kStallAfterHeaders: {
        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                          (reply.reason.empty() ? ReasonPhrase(reply.status) : reply.reason) +
                          "\r\n";
        bool hasLength = false;
        for (const auto& [name, value] : reply.headers) {
          if (Lower(name) == "content-length") hasLength = true;
          out += name + ": " + value + "\r\n";
        }
        if (reply.addContentLength && !hasLength)
          out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        out += "\r\n";
        const bool head = request.method == "HEAD";
        if (reply.kind == ScriptedReply::Kind::kStallAfterHeaders) {
          if (!head) out += reply.body.substr(0, reply.stallAfterBytes);
          if (!connection->Write(out)) return finish();
          stall();
          return finish();
        }
        if (!head) out += reply.body;
        if (!connection->Write(out)) return finish();
        if (!hasLength && !reply.addContentLength) keepOpen = false;
        break;
      }
    }
    if (!keepOpen) {
      ::shutdown(connection->fd, SHUT_WR);
      return finish();
    }
  }
}

void TestServer::Route(std::string path, RouteHandler handler) {
  std::lock_guard lock(mutex_);
  exactRoutes_[std::move(path)] = std::move(handler);
}

void TestServer::RoutePrefix(std::string prefix, RouteHandler handler) {
  std::lock_guard lock(mutex_);
  prefixRoutes_[std::move(prefix)] = std::move(handler);
}

void TestServer::SetFallback(RouteHandler handler) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(handler);
}

std::vector<RecordedRequest> TestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TestServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

void TestServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

bool TestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t TestServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connectionCount_;
}

std::string ConnectToFor(const TestServer& server, const std::vector<std::string>& hosts) {
  std::string value;
  for (const std::string& host : hosts) {
    if (!value.empty()) value += ",";
    value += host + ":80:127.0.0.1:" + std::to_string(server.HttpPort());
    value += "," + host + ":443:127.0.0.1:" + std::to_string(server.HttpsPort());
  }
  return value;
}

}  // namespace tessaly::sim
