#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "web-test-server.h"
#include "web/http-object-request.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;
using testing::WebTest;

class ObjectRequestTest : public WebTest {};

std::vector<std::string> DefaultLines(const std::string& address) {
  return {"Accept: */*", "Referer: " + address, "Accept-Language: zh-cn",
          "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
          "Content-Type: application/x-www-form-urlencoded"};
}

TEST_F(ObjectRequestTest, AddressAloneSendsTheFiveDefaultLines) {
  server().Route("/img/1.png", [](const RecordedRequest&) {
    return ScriptedReply::Ok(std::string("\x89PNG\0\x01", 6), "image/png");
  });
  const std::string address = base() + "/img/1.png";
  EXPECT_EQ(HttpObjectRequest(address), std::string("\x89PNG\0\x01", 6));
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.requestLine, "GET /img/1.png HTTP/1.1");
  std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server().HttpPort())};
  for (const std::string& line : DefaultLines(address)) expected.push_back(line);
  EXPECT_EQ(request.headerLines, expected);
}

TEST_F(ObjectRequestTest, CallerHeaderTextIsCompletedAndReportedBack) {
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  const std::string address = base() + "/h";
  struct Case {
    Text headers;
    std::vector<std::string> lines;  // after Host
  };
  std::vector<Case> cases;
  {
    // A lower-case accept does not stand for Accept: both go out.
    std::vector<std::string> lines = {"accept: text/html", "Accept: */*"};
    for (std::size_t i = 1; i < 5; ++i) lines.push_back(DefaultLines(address)[i]);
    cases.push_back({"accept: text/html", lines});
  }
  {
    std::vector<std::string> lines = {"X-Token: 7"};
    for (const std::string& line : DefaultLines(address)) lines.push_back(line);
    cases.push_back({"X-Token: 7", lines});
  }
  {
    // The caller's agent replaces the default and keeps its place.
    std::vector<std::string> lines = {"User-Agent: Mine/3", "Accept: */*", "Referer: " + address,
                                      "Accept-Language: zh-cn",
                                      "Content-Type: application/x-www-form-urlencoded"};
    cases.push_back({"User-Agent: Mine/3", lines});
  }
  for (const Case& c : cases) {
    server().ClearRequests();
    Text headers = c.headers;
    HttpObjectRequest(address, 0, {}, {}, nullptr, &headers);
    const RecordedRequest request = OnlyRequest();
    std::vector<std::string> after(request.headerLines.begin() + 1, request.headerLines.end());
    EXPECT_EQ(after, c.lines) << c.headers;
    Text sent;
    for (const std::string& line : c.lines) sent += (sent.empty() ? "" : "\r\n") + line;
    EXPECT_EQ(headers, sent);
  }
}

TEST_F(ObjectRequestTest, CookieGoesBeforeTheHeaderLines) {
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  HttpObjectRequest(base() + "/c", 0, {}, "sid=9; lang=zh");
  const RecordedRequest request = OnlyRequest();
  ASSERT_GE(request.headerLines.size(), 3u);
  EXPECT_EQ(request.headerLines[1], "Cookie: sid=9; lang=zh");
  EXPECT_EQ(request.headerLines[2], "Accept: */*");
}

TEST_F(ObjectRequestTest, VerbsAndBodies) {
  server().SetFallback(
      [](const RecordedRequest& r) { return ScriptedReply::Ok("body of " + r.method); });
  struct Case {
    int method;
    Text body;
    Bytes bodyBytes;
    std::string requestLine;
    std::string sentBody;
    Bytes result;
  };
  const std::vector<Case> cases = {
      {0, {}, {}, "GET /v HTTP/1.1", "", "body of GET"},
      {7, {}, {}, "GET /v HTTP/1.1", "", "body of GET"},
      {-3, {}, {}, "GET /v HTTP/1.1", "", "body of GET"},
      {2, {}, {}, "HEAD /v HTTP/1.1", "", ""},
      {1, "a=1&b=2", {}, "POST /v HTTP/1.1", "a=1&b=2", "body of POST"},
      {1, "ignored", Bytes("\x00\xFF\x10", 3), "POST /v HTTP/1.1", Bytes("\x00\xFF\x10", 3),
       "body of POST"},
  };
  for (const Case& c : cases) {
    server().ClearRequests();
    int status = 0;
    EXPECT_EQ(HttpObjectRequest(base() + "/v", c.method, c.body, {}, nullptr, nullptr, nullptr,
                                &status, false, c.bodyBytes),
              c.result)
        << c.method;
    EXPECT_EQ(status, 200);
    const RecordedRequest request = OnlyRequest();
    EXPECT_EQ(request.requestLine, c.requestLine);
    EXPECT_EQ(request.body, c.sentBody);
    if (!c.sentBody.empty()) {
      EXPECT_EQ(request.headerLines.back(), "Content-Length: " + std::to_string(c.sentBody.size()));
    }
  }
}

TEST_F(ObjectRequestTest, ResponseHeadersStatusAndCookies) {
  server().Route("/cookies", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Status(201, "made");
    reply.headers = {{"set-cookie", "A=1; path=/; HttpOnly"}, {"Set-Cookie", "B=2"}};
    return reply;
  });
  Text cookiesOut = "stale";
  Text headersOut;
  int status = 0;
  EXPECT_EQ(
      HttpObjectRequest(base() + "/cookies", 0, {}, {}, &cookiesOut, nullptr, &headersOut, &status),
      "made");
  EXPECT_EQ(status, 201);
  EXPECT_EQ(cookiesOut, "A=1; B=2");
  EXPECT_EQ(headersOut,
            "Set-Cookie: A=1; path=/; HttpOnly\r\nSet-Cookie: B=2\r\n"
            "Content-Length: 4\r\n\r\n");

  server().Route("/plain", [](const RecordedRequest&) { return ScriptedReply::Ok("p", ""); });
  HttpObjectRequest(base() + "/plain", 0, {}, {}, &cookiesOut, nullptr, &headersOut, &status);
  EXPECT_EQ(cookiesOut, "");
  EXPECT_EQ(status, 200);
}

TEST_F(ObjectRequestTest, RedirectsUnlessSwitchedOff) {
  server().Route("/from",
                 [](const RecordedRequest&) { return ScriptedReply::Redirect(302, "/to"); });
  server().Route("/to", [](const RecordedRequest&) { return ScriptedReply::Ok("arrived"); });
  int status = 0;
  EXPECT_EQ(HttpObjectRequest(base() + "/from", 0, {}, {}, nullptr, nullptr, nullptr, &status),
            "arrived");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(server().RequestCount(), 2u);
  server().ClearRequests();
  EXPECT_EQ(
      HttpObjectRequest(base() + "/from", 0, {}, {}, nullptr, nullptr, nullptr, &status, true), "");
  EXPECT_EQ(status, 302);
  EXPECT_EQ(server().RequestCount(), 1u);
}

TEST_F(ObjectRequestTest, CertificateErrorsAreIgnoredOnThisPath) {
  testing::UseServerSettings(false);
  server().Route(
      "/s", [](const RecordedRequest& r) { return ScriptedReply::Ok(r.tls ? "tls" : "plain"); });
  int status = 0;
  EXPECT_EQ(
      HttpObjectRequest("https://wenku.baidu.com/s", 0, {}, {}, nullptr, nullptr, nullptr, &status),
      "tls");
  EXPECT_EQ(status, 200);
}

TEST_F(ObjectRequestTest, ProxyAuthorisation) {
  sim::TestServer proxy(sim::TestServer::Options{true, false});
  ASSERT_TRUE(proxy.Start());
  proxy.SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("proxied"); });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.HttpPort());
  struct Case {
    Text user;
    Text password;
    int auth;
    std::string expected;  // "" means no header
  };
  const std::vector<Case> cases = {
      {"alice", "s3cret", -1, "Basic " + Base64Encode("alice:s3cret")},
      {"alice", "", -1, "Basic YWxpY2U6"},
      {"alice", "s3cret", 1, "Basic YWxpY2U6czNjcmV0"},
      {"alice", "s3cret", 0, ""},
      {"", "s3cret", 1, ""},
  };
  for (const Case& c : cases) {
    proxy.ClearRequests();
    EXPECT_EQ(HttpObjectRequest("http://images.example/p.png", 0, {}, {}, nullptr, nullptr, nullptr,
                                nullptr, false, {}, proxyAddress, 0, c.user, c.password, c.auth),
              "proxied");
    ASSERT_EQ(proxy.RequestCount(), 1u);
    const RecordedRequest seen = proxy.Requests().front();
    EXPECT_EQ(seen.requestLine, "GET http://images.example/p.png HTTP/1.1");
    EXPECT_EQ(seen.Header("Proxy-Authorization"), c.expected) << c.user << " " << c.auth;
    EXPECT_EQ(seen.HasHeader("Proxy-Authorization"), !c.expected.empty());
    if (!c.expected.empty()) {
      EXPECT_EQ(seen.headerLines[1].rfind("Proxy-Authorization: ", 0), 0u);
    }
  }
  // Without a proxy the user name is ignored.
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("direct"); });
  EXPECT_EQ(HttpObjectRequest(base() + "/d", 0, {}, {}, nullptr, nullptr, nullptr, nullptr, false,
                              {}, {}, 0, "alice", "pw"),
            "direct");
  EXPECT_FALSE(OnlyRequest().HasHeader("Proxy-Authorization"));
}

TEST_F(ObjectRequestTest, TimeoutSecondsBoundAStall) {
  server().Route("/stall", [](const RecordedRequest&) { return ScriptedReply::Stall(); });
  const auto start = std::chrono::steady_clock::now();
  int status = -1;
  EXPECT_EQ(HttpObjectRequest(base() + "/stall", 0, {}, {}, nullptr, nullptr, nullptr, &status,
                              false, {}, {}, 1),
            "");
  const double seconds = testing::SecondsSince(start);
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 4.0);
  EXPECT_EQ(status, 0);
}

TEST_F(ObjectRequestTest, BadAddressesGiveEmptyResultsWithoutARequest) {
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("reached"); });
  const std::string port = std::to_string(server().HttpPort());
  const std::vector<Text> bad = {
      "",
      "127.0.0.1:" + port + "/no-scheme",
      "http://",
      "http://127.0.0.1:abc/",
      "http://127.0.0.1:70000/",
      "http://127.0.0.1:" + port + "/" + std::string(100 * 1024, 'x'),
      "http://127.0.0.1:" + port + "/a\nb",
      "file:///etc/passwd",
      "ftp://127.0.0.1:" + port + "/",
  };
  for (const Text& address : bad) {
    int status = -7;
    Text headersOut = "unchanged";
    EXPECT_EQ(HttpObjectRequest(address, 0, {}, {}, nullptr, nullptr, &headersOut, &status), "")
        << address.substr(0, 40);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(headersOut, "");
  }
  EXPECT_EQ(server().RequestCount(), 0u);
}

TEST(Base64Encode, Lengths) {
  struct Case {
    std::string in;
    Text out;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"M", "TQ=="},
      {"Ma", "TWE="},
      {"Man", "TWFu"},
      {std::string("\xFF\xFE\x00\x01", 4), "//4AAQ=="},
      {"user:pass", "dXNlcjpwYXNz"},
  };
  for (const Case& c : cases) EXPECT_EQ(Base64Encode(c.in), c.out);
}

}  // namespace
}  // namespace tessaly
