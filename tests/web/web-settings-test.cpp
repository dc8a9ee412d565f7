#include "web/web-settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web-test-server.h"
#include "web/web-page-request.h"

namespace tessaly {
namespace {

using sim::RecordedRequest;
using sim::ScriptedReply;

TEST(ParseConnectTo, Entries) {
  EXPECT_EQ(ParseConnectTo("WENKU.Baidu.com:443:127.0.0.1:8443, a:80:b:81 ,"),
            (std::vector<std::string>{"wenku.baidu.com:443:127.0.0.1:8443", "a:80:b:81"}));
  EXPECT_EQ(ParseConnectTo("::127.0.0.1:9"), (std::vector<std::string>{"::127.0.0.1:9"}));
  for (const char* bad : {"", "host:80:other", "h:x:o:1", "h:80:o:y", "a:1:b:2:c", "h o:1:b:2"})
    EXPECT_TRUE(ParseConnectTo(bad).empty()) << bad;
}

class WebSettingsTest : public testing::WebTest {};

TEST_F(WebSettingsTest, ConnectToIgnoresLetterCaseAndKeepsTheHostName) {
  server().Route("/case",
                 [](const RecordedRequest& r) { return ScriptedReply::Ok(r.Header("Host")); });
  ::setenv("TESSALY_CONNECT_TO",
           ("WenKu.BAIDU.com:443:127.0.0.1:" + std::to_string(server().HttpsPort())).c_str(), 1);
  ReloadWebSettingsForTesting();
  EXPECT_EQ(WebPageRequest("https://wenku.baidu.com/case"), "wenku.baidu.com");
  EXPECT_EQ(WebPageRequest("HTTPS://WENKU.BAIDU.COM/case"), "wenku.baidu.com");
  EXPECT_EQ(server().RequestCount(), 2u);
}

TEST_F(WebSettingsTest, UnreadableBundleLeavesTheSystemStoreAlone) {
  ::setenv("TESSALY_CA_BUNDLE", "/nonexistent/tessaly-ca.pem", 1);
  ReloadWebSettingsForTesting();
  EXPECT_TRUE(CurrentWebSettings()->caBlob.empty());
  server().Route("/s", [](const RecordedRequest&) { return ScriptedReply::Ok("s"); });
  EXPECT_EQ(WebPageRequest("https://wenku.baidu.com/s"), "");
  EXPECT_EQ(server().RequestCount(), 0u);
}

}  // namespace
}  // namespace tessaly
