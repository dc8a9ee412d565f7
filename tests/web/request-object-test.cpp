#include "web/request-object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "web-test-server.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;
using testing::SecondsSince;
using testing::WebTest;

class RequestObjectTest : public WebTest {};

TEST_F(RequestObjectTest, WithoutCallerHeadersOnlyHostAndItsAgentAreSent) {
  server().Route("/bare", [](const RecordedRequest&) { return ScriptedReply::Ok("bare"); });
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", base() + "/bare", false));
  object.Send();
  EXPECT_TRUE(object.WaitForResponse(5));
  EXPECT_EQ(object.ResponseBody(), "bare");
  const RecordedRequest request = OnlyRequest();
  const std::vector<std::string> expected = {
      "Host: 127.0.0.1:" + std::to_string(server().HttpPort()),
      "User-Agent: " + std::string(kDefaultObjectAgent)};
  EXPECT_EQ(request.headerLines, expected);
}

TEST_F(RequestObjectTest, HeadersSetInOrderAndRangeProbe) {
  server().Route("/file.txt", [](const RecordedRequest& r) {
    ScriptedReply reply;
    if (r.Header("Range") == "bytes=0-1") {
      reply.status = 206;
      reply.body = "he";
      reply.headers = {{"Content-Range", "bytes 0-1/11"}};
    } else {
      reply.body = "hello world";
      reply.headers = {{"Content-Disposition", "attachment; filename=\"a b.txt\""}};
    }
    return reply;
  });
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("HEAD", base() + "/file.txt"));
  EXPECT_TRUE(object.SetRequestHeader("Range", "bytes=0-1"));
  EXPECT_TRUE(object.SetRequestHeader("Accept", "*/*"));
  object.Send();
  EXPECT_EQ(object.Status(), 206);
  EXPECT_EQ(object.ResponseBody(), "");
  const RecordedRequest probe = OnlyRequest();
  EXPECT_EQ(probe.requestLine, "HEAD /file.txt HTTP/1.1");
  EXPECT_EQ(std::vector<std::string>(probe.headerLines.begin() + 1, probe.headerLines.end()),
            (std::vector<std::string>{"User-Agent: " + std::string(kDefaultObjectAgent),
                                      "Range: bytes=0-1", "Accept: */*"}));

  // Open drops the previous request's headers.
  server().ClearRequests();
  ASSERT_TRUE(object.Open("HEAD", base() + "/file.txt", true));
  object.Send();
  ASSERT_TRUE(object.WaitForResponse(5));
  EXPECT_EQ(object.Status(), 200);
  EXPECT_EQ(object.GetResponseHeader("content-length"), "11");
  EXPECT_EQ(object.GetResponseHeader("Content-Disposition"), "attachment; filename=\"a b.txt\"");
  EXPECT_EQ(object.GetResponseHeader("X-Missing"), "");
  EXPECT_EQ(object.GetAllResponseHeaders(),
            "Content-Disposition: attachment; filename=\"a b.txt\"\r\nContent-Length: 11\r\n\r\n");
  EXPECT_FALSE(OnlyRequest().HasHeader("Range"));
}

TEST_F(RequestObjectTest, RefusedHeadersAndOptions) {
  HttpRequestObject object;
  EXPECT_FALSE(object.SetRequestHeader("X", "before open"));
  ASSERT_TRUE(object.Open("GET", base() + "/x"));
  EXPECT_FALSE(object.SetRequestHeader("", "v"));
  EXPECT_FALSE(object.SetRequestHeader("Bad Name", "v"));
  EXPECT_FALSE(object.SetRequestHeader("X", "a\r\nInjected: 1"));
  EXPECT_TRUE(object.SetRequestHeader("X-Empty", ""));
  EXPECT_FALSE(object.Option(99, 1));
  EXPECT_TRUE(object.Option(kOptionEnableRedirects, 0));
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  object.Send();
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.headerLines.back(), "X-Empty:");
  EXPECT_FALSE(request.HasHeader("Injected"));
}

TEST_F(RequestObjectTest, WaitForResponseOnAStalledServerGivesUpAfterItsTime) {
  server().Route("/stall", [](const RecordedRequest&) { return ScriptedReply::Stall(); });
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", base() + "/stall", true));
  object.Send();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(object.WaitForResponse(1));
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.95);
  EXPECT_LT(seconds, 1.5);
  EXPECT_EQ(object.ResponseBody(), "");
  EXPECT_EQ(object.Status(), 0);
  EXPECT_TRUE(server().WaitForRequests(1, std::chrono::milliseconds(1000)));
}

TEST_F(RequestObjectTest, HeadersWithoutTheWholeBodyAreNotAResponse) {
  server().Route("/half", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Ok(std::string(1000, 'b'));
    reply.kind = ScriptedReply::Kind::kStallAfterHeaders;
    reply.stallAfterBytes = 10;
    return reply;
  });
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", base() + "/half", true));
  object.Send();
  EXPECT_FALSE(object.WaitForResponse(0.5));
  EXPECT_EQ(object.ResponseBody(), "");
  EXPECT_EQ(object.Status(), 200);
  // A second attempt on a reopened object succeeds against a good route.
  server().Route("/good", [](const RecordedRequest&) { return ScriptedReply::Ok("good"); });
  ASSERT_TRUE(object.Open("GET", base() + "/good", true));
  object.Send();
  EXPECT_TRUE(object.WaitForResponse(5));
  EXPECT_EQ(object.ResponseBody(), "good");
}

TEST_F(RequestObjectTest, SetTimeoutsBoundASynchronousSend) {
  server().Route("/stall", [](const RecordedRequest&) { return ScriptedReply::Stall(); });
  HttpRequestObject object;
  object.SetTimeouts(1000, 1000, 1000, 1000);
  ASSERT_TRUE(object.Open("GET", base() + "/stall"));
  const auto start = std::chrono::steady_clock::now();
  object.Send();
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 4.0);
  EXPECT_FALSE(object.WaitForResponse(0));
}

TEST_F(RequestObjectTest, FailedRequestReturnsFalseAtOnce) {
  int freePort = 0;
  {
    sim::TestServer probe(sim::TestServer::Options{true, false});
    ASSERT_TRUE(probe.Start());
    freePort = probe.HttpPort();
  }
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", "http://127.0.0.1:" + std::to_string(freePort) + "/", true));
  object.Send();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(object.WaitForResponse(5));
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(RequestObjectTest, CertificatesAreVerifiedUnlessErrorsAreIgnored) {
  testing::UseServerSettings(false);
  server().Route("/s", [](const RecordedRequest&) { return ScriptedReply::Ok("secure"); });
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", "https://wenku.baidu.com/s"));
  object.Send();
  EXPECT_FALSE(object.WaitForResponse(5));
  EXPECT_EQ(server().RequestCount(), 0u);

  ASSERT_TRUE(object.Open("GET", "https://wenku.baidu.com/s"));
  object.Option(kOptionSslErrorIgnoreFlags, kIgnoreCertificateErrors);
  object.Send();
  EXPECT_TRUE(object.WaitForResponse(5));
  EXPECT_EQ(object.ResponseBody(), "secure");

  testing::UseServerSettings(true);
  HttpRequestObject verified;
  ASSERT_TRUE(verified.Open("GET", "https://WENKU.baidu.com/s"));
  verified.Send();
  EXPECT_TRUE(verified.WaitForResponse(5));
  EXPECT_EQ(verified.ResponseBody(), "secure");
}

TEST_F(RequestObjectTest, PreconfiguredProxyComesFromTheEnvironment) {
  sim::TestServer proxy(sim::TestServer::Options{true, false});
  ASSERT_TRUE(proxy.Start());
  proxy.SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("proxied"); });
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.HttpPort())).c_str(), 1);
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("direct"); });
  const std::string address = base() + "/a";
  HttpRequestObject object;
  ASSERT_TRUE(object.Open("GET", address));
  object.Send();
  EXPECT_EQ(object.ResponseBody(), "direct");
  object.SetProxy(ProxySetting::kPreconfigured);
  ASSERT_TRUE(object.Open("GET", address));
  object.Send();
  EXPECT_EQ(object.ResponseBody(), "proxied");
  ::unsetenv("http_proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  EXPECT_EQ(proxy.Requests().front().requestLine, "GET " + address + " HTTP/1.1");
  EXPECT_FALSE(proxy.Requests().front().HasHeader("Proxy-Connection"));
}

}  // namespace
}  // namespace tessaly
