#include "download/segment-transfer.h"

#include <gtest/gtest.h>

#include "download-fixture.h"

namespace tessaly::testing {
namespace {

using Transfer = DownloadFixture;

TEST_F(Transfer, EightThreadsFetchThreeRangesWithTheirHeaderLinesInOrder) {
  const std::string content = PatternContent(25000);
  const std::string address = files_.Serve("/files/x.txt", File(content));

  const DownloadStatus status = Download(address, 8);

  ASSERT_EQ(status.phase, DownloadPhase::Done) << "failure " << static_cast<int>(status.failure);
  EXPECT_EQ(status.failure, DownloadFailure::None);
  EXPECT_EQ(status.filePath, folder_ + "x.txt");
  EXPECT_EQ(status.BytesDone64(), 25000);
  EXPECT_EQ(status.bytesDone, status.totalSize);
  EXPECT_EQ(ReadWholeFile(status.filePath), content);
  EXPECT_EQ(FolderListing(), std::vector<std::string>{"x.txt"});
  EXPECT_EQ(task_.rangeCount, 3);
  EXPECT_EQ(task_.segmentThreadCount, 3);

  const auto requests = files_.RequestsFor("/files/x.txt");
  ASSERT_EQ(requests.size(), 6u);
  // The three probes: range support, size, name.
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].Header("Range"), "bytes=0-1");
  EXPECT_EQ(requests[1].method, "HEAD");
  EXPECT_FALSE(requests[1].HasHeader("Range"));
  EXPECT_EQ(requests[2].method, "HEAD");
  EXPECT_FALSE(requests[2].HasHeader("Range"));

  const std::vector<std::string> ranges = {"bytes=0-10239", "bytes=10240-20479", "bytes=20480-"};
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server_.HttpPort());
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const sim::RecordedRequest& get = requests[3 + i];
    EXPECT_EQ(get.requestLine, "GET /files/x.txt HTTP/1.1");
    const std::vector<std::string> lines = {
        host,
        "Accept: */*",
        "Accept-Language: zh-cn",
        "Accept-Encoding: gzip, deflate",
        "User-Agent: Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)",
        "Range: " + ranges[i],
    };
    EXPECT_EQ(get.headerLines, lines) << "range " << i;
  }
}

TEST_F(Transfer, TwentyThreadsForThreeRangesStartThree) {
  const std::string content = PatternContent(25000);
  const DownloadStatus status = Download(files_.Serve("/t/x.txt", File(content)), 20);
  ASSERT_EQ(status.phase, DownloadPhase::Done) << "failure " << static_cast<int>(status.failure);
  EXPECT_EQ(task_.segmentThreadCount, 3);
  EXPECT_EQ(ReadWholeFile(status.filePath), content);
}

TEST_F(Transfer, SingleRangeFileIsOneOpenRange) {
  const std::string content = PatternContent(10240);
  const DownloadStatus status = Download(files_.Serve("/s/x.txt", File(content)), 4);
  ASSERT_EQ(status.phase, DownloadPhase::Done) << "failure " << static_cast<int>(status.failure);
  EXPECT_EQ(ReadWholeFile(status.filePath), content);
  const auto requests = files_.RequestsFor("/s/x.txt");
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[3].Header("Range"), "bytes=0-");
  EXPECT_EQ(task_.segmentThreadCount, 1);
}

TEST_F(Transfer, ManyRangesOnSeveralThreadsAreClaimedInPlanOrder) {
  const std::string content = PatternContent(40 * 10240 + 7);
  const DownloadStatus status = Download(files_.Serve("/m/x.txt", File(content)), 5);
  ASSERT_EQ(status.phase, DownloadPhase::Done) << "failure " << static_cast<int>(status.failure);
  EXPECT_EQ(ReadWholeFile(status.filePath), content);
  EXPECT_EQ(status.BytesDone64(), static_cast<std::int64_t>(content.size()));
  const auto requests = files_.RequestsFor("/m/x.txt");
  ASSERT_EQ(requests.size(), 3u + 41u);
  // Claims are 10 ms apart and each request leaves right after its claim.
  for (std::size_t i = 0; i < 41; ++i) {
    const std::string expected =
        i < 40 ? "bytes=" + std::to_string(i * 10240) + "-" + std::to_string(i * 10240 + 10239)
               : "bytes=409600-";
    EXPECT_EQ(requests[3 + i].Header("Range"), expected);
  }
}

TEST(AcceptRangeAnswer, OnlyTheExactRangeIsWritten) {
  struct Case {
    ByteRange asked;
    std::int64_t total;
    int status;
    const char* contentRange;
    std::size_t length;
    bool accepted;
  };
  const std::int64_t fiveGiB = std::int64_t{5} << 30;
  const Case cases[] = {
      {{0, 10239}, 25000, 206, "bytes 0-10239/25000", 10240, true},
      {{20480, -1}, 25000, 206, "bytes 20480-24999/25000", 4520, true},
      {{0, 10239}, 25000, 200, "", 25000, false},
      {{0, 10239}, 25000, 200, "", 10240, false},
      {{0, 10239}, 25000, 206, "bytes 1-10240/25000", 10240, false},
      {{0, 10239}, 25000, 206, "bytes 0-10239/25001", 10240, false},
      {{0, 10239}, 25000, 206, "bytes 0-10239/*", 10240, false},
      {{0, 10239}, 25000, 206, "bytes 0-10239/25000", 10239, false},
      {{0, 10239}, 25000, 206, "", 10240, false},
      {{20480, -1}, 25000, 206, "bytes 20480-24998/25000", 4519, false},
      {{5368698880, -1}, fiveGiB, 206, "bytes 5368698880-5368709119/5368709120", 10240, true},
      {{3221207040, 3221217279},
       fiveGiB,
       206,
       "bytes 3221207040-3221217279/5368709120",
       10240,
       true},
      {{0, -1}, 0, 416, "bytes */0", 0, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AcceptRangeAnswer(c.asked, c.total, c.status, c.contentRange, c.length), c.accepted)
        << c.contentRange << " " << c.status << " " << c.length;
  }
}

}  // namespace
}  // namespace tessaly::testing
