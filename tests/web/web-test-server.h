// One local server per test process, with the deployment settings pointing the
// service's host names at it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "test-server.h"
#include "web/web-settings.h"

namespace tessaly::testing {

inline sim::TestServer& SharedServer() {
  static sim::TestServer server;
  static const bool started = server.Start();
  if (!started) ADD_FAILURE() << "test server did not start";
  return server;
}

// Direct connections only, unless a test sets a proxy itself.
inline void ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY",
                           "all_proxy", "no_proxy", "NO_PROXY"})
    ::unsetenv(name);
}

inline void UseServerSettings(bool withCaBundle = true) {
  sim::TestServer& server = SharedServer();
  ::setenv("TESSALY_CONNECT_TO",
           sim::ConnectToFor(server, {"wenku.baidu.com", "static.baidu.com"}).c_str(), 1);
  if (withCaBundle)
    ::setenv("TESSALY_CA_BUNDLE", server.CaBundlePath().c_str(), 1);
  else
    ::unsetenv("TESSALY_CA_BUNDLE");
  ReloadWebSettingsForTesting();
}

class WebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    UseServerSettings();
    server().ClearRequests();
  }
  sim::TestServer& server() { return SharedServer(); }
  std::string base() { return server().HttpBase(); }

  // The only request recorded since SetUp.
  sim::RecordedRequest OnlyRequest() {
    const auto requests = server().Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? sim::RecordedRequest{} : requests.back();
  }
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tessaly::testing
