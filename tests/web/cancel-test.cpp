#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "web-test-server.h"
#include "web/cancel-token.h"
#include "web/http-object-request.h"
#include "web/remote-content-length.h"
#include "web/request-object.h"
#include "web/web-page-request.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;
using testing::SecondsSince;
using testing::WebTest;

class CancelTest : public WebTest {
 protected:
  void SetUp() override {
    WebTest::SetUp();
    server().Route("/stall", [](const RecordedRequest&) { return ScriptedReply::Stall(); });
    server().Route("/half", [](const RecordedRequest&) {
      ScriptedReply reply = ScriptedReply::Ok(std::string(5000, 'h'));
      reply.kind = ScriptedReply::Kind::kStallAfterHeaders;
      reply.stallAfterBytes = 100;
      return reply;
    });
  }
};

// Runs `transfer` on a thread with its own token, cancels once the server has
// seen the request, and returns how long the transfer took to give up.
double SecondsToStop(sim::TestServer& server, const std::function<void()>& transfer) {
  auto token = MakeCancelToken();
  std::promise<std::chrono::steady_clock::time_point> ended;
  auto endedAt = ended.get_future();
  const std::size_t before = server.RequestCount();
  std::thread worker([&] {
    ScopedCancelToken guard(token);
    transfer();
    ended.set_value(std::chrono::steady_clock::now());
  });
  EXPECT_TRUE(server.WaitForRequests(before + 1, std::chrono::milliseconds(5000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  // Still waiting on the network, so the time below is the cancellation's.
  EXPECT_EQ(endedAt.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  const auto cancelledAt = std::chrono::steady_clock::now();
  token->Cancel();
  const bool finished = endedAt.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  EXPECT_TRUE(finished);
  worker.join();
  return finished ? std::chrono::duration<double>(endedAt.get() - cancelledAt).count() : 99.0;
}

TEST_F(CancelTest, EveryPathStopsWithin200Milliseconds) {
  const std::string stall = base() + "/stall";
  const std::string half = base() + "/half";
  const std::vector<std::pair<std::string, std::function<void()>>> paths = {
      {"page", [&] { EXPECT_EQ(WebPageRequest(stall), ""); }},
      {"page https", [&] { EXPECT_EQ(WebPageRequest("https://wenku.baidu.com/stall"), ""); }},
      {"page mid-body", [&] { EXPECT_EQ(WebPageRequest(half), ""); }},
      {"object",
       [&] {
         EXPECT_EQ(HttpObjectRequest(stall, 0, {}, {}, nullptr, nullptr, nullptr, nullptr, false,
                                     {}, {}, -1),
                   "");
       }},
      {"object wait",
       [&] {
         HttpRequestObject object;
         object.Open("GET", stall, true);
         object.Send();
         EXPECT_FALSE(object.WaitForResponse(-1));
       }},
      {"content length", [&] { EXPECT_EQ(RemoteContentLength(stall), 0); }},
  };
  for (const auto& [name, transfer] : paths) {
    const double seconds = SecondsToStop(server(), transfer);
    EXPECT_LT(seconds, 0.2) << name;
  }
}

TEST_F(CancelTest, ACancelledThreadMakesNoRequest) {
  auto token = MakeCancelToken();
  token->Cancel();
  ScopedCancelToken guard(token);
  server().SetFallback([](const RecordedRequest&) { return ScriptedReply::Ok("x"); });
  Text cookies = "a=1";
  EXPECT_EQ(WebPageRequest(base() + "/x", 0, {}, &cookies), "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_EQ(HttpObjectRequest(base() + "/x"), "");
  EXPECT_EQ(RemoteContentLength(base() + "/x"), 0);
  EXPECT_EQ(server().RequestCount(), 0u);
}

TEST(CancelToken, GuardsNestAndRestore) {
  EXPECT_EQ(CurrentCancelToken(), nullptr);
  auto outer = MakeCancelToken();
  auto inner = MakeCancelToken();
  {
    ScopedCancelToken a(outer);
    EXPECT_EQ(CurrentCancelToken(), outer);
    {
      ScopedCancelToken b(inner);
      EXPECT_EQ(CurrentCancelToken(), inner);
      inner->Cancel();
      EXPECT_TRUE(CurrentThreadCancelled());
    }
    EXPECT_EQ(CurrentCancelToken(), outer);
    EXPECT_FALSE(CurrentThreadCancelled());
  }
  EXPECT_EQ(CurrentCancelToken(), nullptr);
}

TEST(CancelToken, WakersRunOnCancelAndNotAfterRemoval) {
  CancelToken token;
  int woken = 0;
  int removed = 0;
  token.AddWaker([&] { ++woken; });
  const auto id = token.AddWaker([&] { ++removed; });
  token.RemoveWaker(id);
  token.Cancel();
  token.Cancel();
  EXPECT_EQ(woken, 2);
  EXPECT_EQ(removed, 0);
  int late = 0;
  token.AddWaker([&] { ++late; });  // already cancelled: runs at once
  EXPECT_EQ(late, 1);
}

}  // namespace
}  // namespace tessaly
