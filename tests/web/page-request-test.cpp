#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/codepage.h"
#include "web-test-server.h"
#include "web/web-page-request.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;
using testing::WebTest;

const std::string kAgentLine = "User-Agent: " + std::string(kDefaultPageAgent);

TEST(PageAgent, DefaultAgentIsTheDocumentedText) { EXPECT_EQ(kDefaultPageAgent.size(), 120u); }

class PageRequestTest : public WebTest {};

TEST_F(PageRequestTest, ViewPageGetSendsExactlyTheFourDefaultLines) {
  server().Route("/view/abc.html",
                 [](const RecordedRequest&) { return ScriptedReply::Ok("page"); });
  const std::string address = base() + "/view/abc.html";
  Text extra;
  EXPECT_EQ(WebPageRequest(address, 0, {}, nullptr, nullptr, &extra), "page");
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.requestLine, "GET /view/abc.html HTTP/1.1");
  const std::vector<std::string> expected = {
      "Host: 127.0.0.1:" + std::to_string(server().HttpPort()),
      kAgentLine,
      "Referer: " + address,
      "Accept: */*",
      "Accept-Language: zh-cn",
      "Content-Type: application/x-www-form-urlencoded",
  };
  EXPECT_EQ(request.headerLines, expected);
  EXPECT_EQ(request.body, "");
  EXPECT_EQ(extra, "Referer: " + address +
                       "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: "
                       "application/x-www-form-urlencoded");
}

TEST_F(PageRequestTest, CallerHeaderLinesFollowTheirOwnRules) {
  struct Case {
    std::string extra;
    std::vector<std::string> expectedAfterHost;
  };
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  const std::string address = base() + "/h";
  const std::vector<Case> cases = {
      // The agent search ignores case: the caller's line is the agent, sent once.
      {"user-agent: Probe/1",
       {"user-agent: Probe/1", "Referer: " + address, "Accept: */*", "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded"}},
      // The Referer search is case-sensitive: both lines go out.
      {"referer: http://elsewhere/",
       {kAgentLine, "referer: http://elsewhere/", "Referer: " + address, "Accept: */*",
        "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded"}},
      {"User-Agent: Mine/2\r\nAccept: text/html",
       {"User-Agent: Mine/2", "Accept: text/html", "Referer: " + address, "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded"}},
  };
  for (const Case& c : cases) {
    server().ClearRequests();
    Text extra = c.extra;
    EXPECT_EQ(WebPageRequest(address, 0, {}, nullptr, nullptr, &extra), "x");
    const RecordedRequest request = OnlyRequest();
    std::vector<std::string> after(request.headerLines.begin() + 1, request.headerLines.end());
    EXPECT_EQ(after, c.expectedAfterHost) << c.extra;
    EXPECT_EQ(request.headerLines.front(),
              "Host: 127.0.0.1:" + std::to_string(server().HttpPort()));
  }
}

TEST_F(PageRequestTest, CookiesAreSentInTheirOwnLine) {
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  Text cookies = "a=1; b=2";
  WebPageRequest(base() + "/c", 0, {}, &cookies);
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.headerLines.back(), "Cookie: a=1; b=2");
  EXPECT_EQ(cookies, "a=1; b=2");  // merged with nothing new
}

TEST_F(PageRequestTest, BodiesAndVerbs) {
  struct Case {
    int method;
    Text postText;
    Bytes bodyBytes;
    std::string requestLine;
    std::string body;
  };
  const std::vector<Case> cases = {
      {1, "q=1&r=2", {}, "POST /p HTTP/1.1", "q=1&r=2"},
      {1, "ignored", Bytes("\x01\x02\x00\x03", 4), "POST /p HTTP/1.1",
       Bytes("\x01\x02\x00\x03", 4)},
      {5, "k=v", {}, "GET /p HTTP/1.1", "k=v"},
      {0, "not sent", {}, "GET /p HTTP/1.1", ""},
  };
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("done"); });
  for (const Case& c : cases) {
    server().ClearRequests();
    Bytes bytes = c.bodyBytes;
    EXPECT_EQ(WebPageRequest(base() + "/p", c.method, c.postText, nullptr, nullptr, nullptr,
                             nullptr, false, &bytes),
              "done");
    const RecordedRequest request = OnlyRequest();
    EXPECT_EQ(request.requestLine, c.requestLine);
    EXPECT_EQ(request.body, c.body);
    if (c.method != 0) {
      EXPECT_EQ(request.headerLines.back(), "Content-Length: " + std::to_string(c.body.size()));
      EXPECT_EQ(bytes, c.body);  // an empty bodyBytes is set to postText
    } else {
      EXPECT_FALSE(request.HasHeader("Content-Length"));
    }
    for (const char* absent : {"Expect", "Connection", "Pragma", "Accept-Encoding", "Cookie"})
      EXPECT_FALSE(request.HasHeader(absent)) << absent;
  }
}

TEST(AddressSplitting, Cases) {
  struct Case {
    Text address;
    Text host;
    Text hostWithPort;
    int port;
    Text path;
  };
  const std::vector<Case> cases = {
      {"wenku.baidu.com/view/1.html", "wenku.baidu.com", "wenku.baidu.com", 80, "/view/1.html"},
      {"HTTPS://Wenku.Baidu.com/View/A.html", "wenku.baidu.com", "wenku.baidu.com", 443,
       "/View/A.html"},
      {"http://Host.example:8080/Path/X?Q=1", "host.example", "host.example:8080", 8080,
       "/Path/X?Q=1"},
      {"https://wenku.baidu.com", "wenku.baidu.com", "wenku.baidu.com", 443, "/"},
      {"http://a.b.c", "a.b.c", "a.b.c", 80, "/"},
      {"http://h/x", "h", "h", 80, "/x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlHost(c.address), c.host) << c.address;
    EXPECT_EQ(UrlHost(c.address, true), c.hostWithPort) << c.address;
    EXPECT_EQ(UrlPort(c.address), c.port) << c.address;
    EXPECT_EQ(UrlPath(c.address), c.path) << c.address;
  }
}

TEST_F(PageRequestTest, AddressesReachTheRightPlaceOnTheWire) {
  server().SetFallback(
      [](const RecordedRequest& r) { return ScriptedReply::Ok(r.tls ? "tls" : "plain"); });
  struct Case {
    Text address;
    std::string body;
    std::string requestLine;
    std::string host;
  };
  const std::vector<Case> cases = {
      {"wenku.baidu.com/view/A.html", "plain", "GET /view/A.html HTTP/1.1", "wenku.baidu.com"},
      {"HTTPS://WENKU.BAIDU.COM/View/B.html?x=Y", "tls", "GET /View/B.html?x=Y HTTP/1.1",
       "wenku.baidu.com"},
      {"http://wenku.baidu.com", "plain", "GET / HTTP/1.1", "wenku.baidu.com"},
      {"127.0.0.1:" + std::to_string(server().HttpPort()) + "/Upper/Case", "plain",
       "GET /Upper/Case HTTP/1.1", "127.0.0.1:" + std::to_string(server().HttpPort())},
  };
  for (const Case& c : cases) {
    server().ClearRequests();
    EXPECT_EQ(WebPageRequest(c.address), c.body) << c.address;
    const RecordedRequest request = OnlyRequest();
    EXPECT_EQ(request.requestLine, c.requestLine) << c.address;
    EXPECT_EQ(request.Header("Host"), c.host) << c.address;
    EXPECT_EQ(request.Header("Referer"), c.address);
  }
}

TEST_F(PageRequestTest, BodyIsCutAtItsFirstZeroByte) {
  server().Route(
      "/z", [](const RecordedRequest&) { return ScriptedReply::Ok(std::string("ab\0cd", 5)); });
  EXPECT_EQ(WebPageRequest(base() + "/z"), "ab");
}

TEST_F(PageRequestTest, BodyBytesComeBackUnchanged) {
  const std::string gbk = Utf8ToGbk("文库页面");
  server().Route("/g", [gbk](const RecordedRequest&) { return ScriptedReply::Ok(gbk); });
  EXPECT_EQ(WebPageRequest(base() + "/g"), gbk);
}

TEST_F(PageRequestTest, LocationAndRawHeaders) {
  server().Route("/two", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Status(302, "moved");
    reply.headers = {{"Location", "/first"}, {"Location", "/second"}};
    return reply;
  });
  server().Route("/none", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Ok("x", "");
    reply.headers = {{"X-One", "1"}};
    return reply;
  });
  Text location;
  Text raw;
  WebPageRequest(base() + "/two", 0, {}, nullptr, nullptr, nullptr, &location, true, nullptr, {},
                 &raw);
  EXPECT_EQ(location, "/second");
  EXPECT_EQ(server().RequestCount(), 1u);  // not followed
  EXPECT_EQ(raw,
            "HTTP/1.1 302 Found\r\nLocation: /first\r\nLocation: /second\r\n"
            "Content-Length: 5\r\n\r\n");

  Text block;
  WebPageRequest(base() + "/none", 0, {}, nullptr, nullptr, nullptr, &block, false, nullptr, {},
                 &raw);
  EXPECT_EQ(block, "HTTP/1.1 200 OK\r\nX-One: 1\r\nContent-Length: 1\r\n\r\n");
  EXPECT_EQ(block, raw);
}

TEST_F(PageRequestTest, RedirectsAreFollowedFromHttpToHttps) {
  server().Route("/start", [](const RecordedRequest&) {
    return ScriptedReply::Redirect(302, "https://wenku.baidu.com/end");
  });
  server().Route("/end", [](const RecordedRequest& r) {
    return ScriptedReply::Ok(r.tls ? "secure end" : "plain end");
  });
  EXPECT_EQ(WebPageRequest("http://wenku.baidu.com/start"), "secure end");
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Header("Host"), "wenku.baidu.com");
  EXPECT_TRUE(requests[1].tls);
}

TEST_F(PageRequestTest, SetCookieLinesFillTheCookieTexts) {
  server().Route("/set", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Ok("ok");
    reply.headers = {
        {"Set-Cookie", "BAIDUID=ABC:FG=1; expires=Thu, 31-Dec-37 23:55:55 GMT; path=/"},
        {"Set-Cookie", "BIDUPSID=XYZ; domain=.baidu.com"}};
    return reply;
  });
  Text cookies;
  Text newCookies = "stale";
  EXPECT_EQ(WebPageRequest(base() + "/set", 0, {}, &cookies, &newCookies), "ok");
  EXPECT_EQ(cookies, "BAIDUID=ABC:FG=1; BIDUPSID=XYZ");
  EXPECT_EQ(newCookies, "BAIDUID=ABC:FG=1;BIDUPSID=XYZ");

  // Carried into the next request and merged with what it sets.
  server().Route("/again", [](const RecordedRequest&) {
    ScriptedReply reply = ScriptedReply::Ok("ok");
    reply.headers = {{"Set-Cookie", "BIDUPSID=deleted; path=/"}};
    return reply;
  });
  WebPageRequest(base() + "/again", 0, {}, &cookies, &newCookies);
  EXPECT_EQ(server().Requests().back().Header("Cookie"), "BAIDUID=ABC:FG=1; BIDUPSID=XYZ");
  EXPECT_EQ(cookies, "BAIDUID=ABC:FG=1");
  EXPECT_EQ(newCookies, "BIDUPSID=deleted");
}

TEST(MergeCookies, Table) {
  struct Case {
    Text old;
    Text fresh;
    Text merged;
  };
  const std::vector<Case> cases = {
      {"a=1; b=2", "b=3", "b=3; a=1"},
      {"a=1; b=2", "a=deleted", "b=2"},
      {"a=deleted; b=2", "", "b=2"},
      {"a=1; a=2", "", "a=1"},
      {"A=1", "a=2", "a=2; A=1"},
      {"a=x y", "", "a=xy"},
      {"", "", ""},
      {"a=1;", "b=2;", "b=2; a=1"},
  };
  for (const Case& c : cases) {
    Text old = c.old;
    Text fresh = c.fresh;
    EXPECT_EQ(MergeCookies(old, fresh), c.merged) << c.old << " + " << c.fresh;
    EXPECT_EQ(old, c.merged);
    EXPECT_EQ(fresh.find(' '), Text::npos);
  }
}

TEST(CookieName, Cases) {
  EXPECT_EQ(CookieName(" sid =abc"), "sid");
  EXPECT_EQ(CookieName("flag"), "flag");
  EXPECT_EQ(CookieName("k=v=w"), "k");
  EXPECT_TRUE(HasCookieNamed({"a=1", "b=2"}, "b"));
  EXPECT_FALSE(HasCookieNamed({"a=1", "b=2"}, "B"));
  EXPECT_FALSE(HasCookieNamed({}, "a"));
}

TEST_F(PageRequestTest, HttpsIsVerifiedWithTheExtraBundleAndRefusedWithoutIt) {
  server().Route("/secure", [](const RecordedRequest&) { return ScriptedReply::Ok("trusted"); });
  EXPECT_EQ(WebPageRequest("https://wenku.baidu.com/secure"), "trusted");
  EXPECT_EQ(server().RequestCount(), 1u);

  testing::UseServerSettings(false);
  server().ClearRequests();
  Text raw = "untouched";
  EXPECT_EQ(WebPageRequest("https://wenku.baidu.com/secure", 0, {}, nullptr, nullptr, nullptr,
                           nullptr, false, nullptr, {}, &raw),
            "");
  EXPECT_EQ(raw, "");  // no response at all
  EXPECT_EQ(server().RequestCount(), 0u);
}

TEST_F(PageRequestTest, ProxyIsUsedForHttpAndIgnoredWithoutIt) {
  sim::TestServer proxy(sim::TestServer::Options{true, false});
  ASSERT_TRUE(proxy.Start());
  proxy.SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("from proxy"); });
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.HttpPort());

  // A host outside TESSALY_CONNECT_TO, which would otherwise tunnel.
  EXPECT_EQ(WebPageRequest("http://proxied.example/via", 0, {}, nullptr, nullptr, nullptr, nullptr,
                           false, nullptr, proxyAddress),
            "from proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  const RecordedRequest seen = proxy.Requests().front();
  EXPECT_EQ(seen.requestLine, "GET http://proxied.example/via HTTP/1.1");
  EXPECT_EQ(seen.headerLines.front(), "Host: proxied.example");
  EXPECT_FALSE(seen.HasHeader("Proxy-Connection"));
  EXPECT_EQ(server().RequestCount(), 0u);

  // The environment's proxy is not ours to use on this path.
  ::setenv("http_proxy", ("http://" + proxyAddress).c_str(), 1);
  server().Route("/direct", [](const RecordedRequest&) { return ScriptedReply::Ok("direct"); });
  EXPECT_EQ(WebPageRequest("http://wenku.baidu.com/direct"), "direct");
  ::unsetenv("http_proxy");
  EXPECT_EQ(proxy.RequestCount(), 1u);
}

TEST_F(PageRequestTest, BadAddressesReturnEmptyWithoutARequest) {
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("reached"); });
  const std::string port = std::to_string(server().HttpPort());
  const std::vector<Text> bad = {
      "",
      "http://",
      "https:///path",
      "http://127.0.0.1:abc/x",
      "http://127.0.0.1:65536/x",
      "http://127.0.0.1:99999/x",
      "http://127.0.0.1:" + port + "/" + std::string(100 * 1024, 'a'),
      "http://127.0.0.1:" + port + "/a\r\nX-Injected: 1",
      "http://127.0.0.1:" + port + "/a\x01",
      std::string("http://127.0.0.1:") + port + std::string("/a\0b", 4),
      "http://user@127.0.0.1:" + port + "/",
  };
  for (const Text& address : bad) {
    Text cookies = "keep=1; me=2";
    Text extra = "X: y";
    Text raw = "unchanged";
    EXPECT_EQ(WebPageRequest(address, 0, {}, &cookies, nullptr, &extra, nullptr, false, nullptr, {},
                             &raw),
              "")
        << address.substr(0, 60);
    EXPECT_EQ(cookies, "keep=1; me=2");
    EXPECT_EQ(extra, "X: y");
    EXPECT_EQ(raw, "unchanged");
  }
  EXPECT_EQ(server().RequestCount(), 0u);
}

TEST_F(PageRequestTest, RefusedConnectionGivesEmptyResultsButRunsTheScan) {
  // A port that was just free: nothing listens there.
  int freePort = 0;
  {
    sim::TestServer probe(sim::TestServer::Options{true, false});
    ASSERT_TRUE(probe.Start());
    freePort = probe.HttpPort();
  }
  Text cookies = "a = 1";
  Text location;
  EXPECT_EQ(WebPageRequest("http://127.0.0.1:" + std::to_string(freePort) + "/", 0, {}, &cookies,
                           nullptr, nullptr, &location),
            "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_EQ(location, "");
}

}  // namespace
}  // namespace tessaly
