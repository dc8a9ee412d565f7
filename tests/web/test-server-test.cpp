#include "test-server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test-certificates.h"

namespace tessaly::sim {
namespace {

// A plain socket client, so that what goes on the wire is exactly ours.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~RawClient() { ::close(fd_); }
  bool connected() const { return connected_; }
  void Send(const std::string& data) {
    ASSERT_EQ(::send(fd_, data.data(), data.size(), 0), static_cast<long>(data.size()));
  }
  // Reads until `count` bytes or the peer closes.
  std::string Read(std::size_t count) {
    std::string out;
    char buffer[4096];
    while (out.size() < count) {
      const long got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

TEST(TestServer, RecordsRequestsExactlyAndKeepsConnectionsAlive) {
  TestServer server(TestServer::Options{true, false});
  ASSERT_TRUE(server.Start());
  EXPECT_GT(server.HttpPort(), 0);
  server.Route("/a", [](const RecordedRequest& r) {
    ScriptedReply reply = ScriptedReply::Ok("A:" + r.body, "");
    reply.headers = {{"x-lower", "v"}, {"X-Upper", "W"}};
    return reply;
  });
  RawClient client(server.HttpPort());
  ASSERT_TRUE(client.connected());
  client.Send(
      "POST /a?q=1 HTTP/1.1\r\nhOsT: here\r\nX-Two:  spaced \r\nContent-Length: 3\r\n\r\nxyz");
  const std::string expected =
      "HTTP/1.1 200 OK\r\nx-lower: v\r\nX-Upper: W\r\nContent-Length: 5\r\n\r\nA:xyz";
  EXPECT_EQ(client.Read(expected.size()), expected);
  client.Send(
      "GET /missing HTTP/1.1\r\nHost: here\r\nTransfer-Encoding: "
      "chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n");
  EXPECT_EQ(client.Read(10).substr(0, 12), "HTTP/1.1 404");
  ASSERT_TRUE(server.WaitForRequests(2, std::chrono::milliseconds(2000)));
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].requestLine, "POST /a?q=1 HTTP/1.1");
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].Path(), "/a");
  EXPECT_EQ(requests[0].Query(), "q=1");
  EXPECT_EQ(requests[0].headerLines,
            (std::vector<std::string>{"hOsT: here", "X-Two:  spaced ", "Content-Length: 3"}));
  EXPECT_EQ(requests[0].Header("x-two"), "spaced");
  EXPECT_EQ(requests[0].body, "xyz");
  EXPECT_EQ(requests[1].body, "abc");
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST(TestServer, RoutesPreferExactThenLongestPrefix) {
  TestServer server(TestServer::Options{true, false});
  ASSERT_TRUE(server.Start());
  server.RoutePrefix("/p", [](const RecordedRequest&) { return ScriptedReply::Ok("short"); });
  server.RoutePrefix("/p/q", [](const RecordedRequest&) { return ScriptedReply::Ok("long"); });
  server.Route("/p/q/exact", [](const RecordedRequest&) { return ScriptedReply::Ok("exact"); });
  for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
           {"/p/x", "short"}, {"/p/q/y", "long"}, {"/p/q/exact", "exact"}}) {
    RawClient client(server.HttpPort());
    client.Send("GET " + path + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    const std::string reply = client.Read(1000);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), expected) << path;
  }
}

TEST(TestServer, StopEndsStalledConnectionsPromptly) {
  TestServer server(TestServer::Options{true, false});
  ASSERT_TRUE(server.Start());
  server.SetFallback([](const RecordedRequest&) { return ScriptedReply::Stall(); });
  RawClient client(server.HttpPort());
  client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
  ASSERT_TRUE(server.WaitForRequests(1, std::chrono::milliseconds(2000)));
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  EXPECT_EQ(client.Read(1), "");
}

TEST(TestCertificates, MadeForTheRequestedNames) {
  const TestCertificates certificates = MakeTestCertificates({"example.test"}, {"127.0.0.1"});
  EXPECT_NE(certificates.caCertPem.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
  EXPECT_NE(certificates.leafCertPem.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
  EXPECT_NE(certificates.leafKeyPem.find("PRIVATE KEY-----"), std::string::npos);
  EXPECT_NE(certificates.caCertPem, certificates.leafCertPem);
  EXPECT_FALSE(SharedTestCaBundlePath().empty());
}

}  // namespace
}  // namespace tessaly::sim
