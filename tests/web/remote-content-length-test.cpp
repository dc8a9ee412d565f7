#include "web/remote-content-length.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "web-test-server.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;
using testing::WebTest;

class RemoteContentLengthTest : public WebTest {};

TEST_F(RemoteContentLengthTest, AnnouncedSizes) {
  struct Case {
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::int64_t expected;
  };
  const std::vector<Case> cases = {
      {"/small", {{"Content-Length", "999"}}, 999},
      {"/big", {{"Content-Length", "5000000000"}}, 5000000000LL},
      {"/none", {}, 0},
      {"/negative", {{"Content-Length", "-5"}}, 0},
  };
  for (const Case& c : cases) {
    server().Route(c.path, [c](const RecordedRequest&) {
      ScriptedReply reply;
      reply.headers = c.headers;
      reply.addContentLength = false;
      // The body is never sent: a reader waiting for it would hang.
      reply.kind = ScriptedReply::Kind::kStallAfterHeaders;
      return reply;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RemoteContentLength(base() + c.path), c.expected) << c.path;
    EXPECT_LT(testing::SecondsSince(start), 2.0);
  }
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), cases.size());
  EXPECT_EQ(requests[0].requestLine, "GET /small HTTP/1.1");
  EXPECT_EQ(requests[0].headerLines,
            (std::vector<std::string>{"Host: 127.0.0.1:" + std::to_string(server().HttpPort())}));
}

TEST_F(RemoteContentLengthTest, FollowsRedirectsAndVerifiesHttps) {
  server().Route("/pic", [](const RecordedRequest&) {
    return ScriptedReply::Redirect(302, "https://static.baidu.com/real.png");
  });
  server().Route("/real.png", [](const RecordedRequest&) {
    return ScriptedReply::Ok(std::string(4096, 'p'), "image/png");
  });
  EXPECT_EQ(RemoteContentLength("http://static.baidu.com/pic"), 4096);
  testing::UseServerSettings(false);
  EXPECT_EQ(RemoteContentLength("https://static.baidu.com/real.png"), 0);
}

TEST_F(RemoteContentLengthTest, HonoursTheProxyEnvironment) {
  sim::TestServer proxy(sim::TestServer::Options{true, false});
  ASSERT_TRUE(proxy.Start());
  proxy.SetFallback(
      [](const RecordedRequest&) { return ScriptedReply::Ok(std::string(1234, 'x')); });
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.HttpPort())).c_str(), 1);
  EXPECT_EQ(RemoteContentLength("http://pictures.example/p.png"), 1234);
  ::unsetenv("http_proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  EXPECT_EQ(proxy.Requests().front().requestLine, "GET http://pictures.example/p.png HTTP/1.1");
}

TEST_F(RemoteContentLengthTest, BadAddressesGiveZeroWithoutARequest) {
  for (const Text& address :
       {Text(), Text("no-scheme/x"), Text("http://:80/"), Text("http://127.0.0.1:port/"),
        Text("http://127.0.0.1:1234567/"), "http://127.0.0.1/" + Text(100 * 1024, 'q'),
        Text("http://127.0.0.1/\x7f")})
    EXPECT_EQ(RemoteContentLength(address), 0);
  EXPECT_EQ(server().RequestCount(), 0u);
}

}  // namespace
}  // namespace tessaly
