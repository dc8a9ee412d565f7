#include <gtest/gtest.h>

#include "download-fixture.h"

namespace tessaly::testing {
namespace {

using namespace std::chrono_literals;
using TaskObject = DownloadFixture;

// Waits until `predicate` holds or `limit` passes; returns whether it held.
template <typename Predicate>
bool Eventually(Predicate predicate, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::size_t CountGets(const std::vector<sim::RecordedRequest>& requests) {
  std::size_t gets = 0;
  for (const auto& request : requests) gets += request.method == "GET";
  return gets;
}

TEST_F(TaskObject, StatusBeforeStartAfterStartAndAfterDone) {
  SegmentedDownloader downloader(task_);
  downloader.Configure(Request(files_.Serve("/a/x.txt", File(PatternContent(25000))), 3));
  DownloadStatus status = downloader.QueryStatus();
  EXPECT_EQ(status.phase, DownloadPhase::Idle);
  EXPECT_EQ(status.totalSize, 0);
  EXPECT_EQ(status.bytesDone, 0);
  EXPECT_EQ(status.filePath, folder_);

  downloader.Start();
  status = WaitForEnd(downloader);
  ASSERT_EQ(status.phase, DownloadPhase::Done);
  EXPECT_EQ(status.totalSize, 25000);
  EXPECT_EQ(status.bytesDone, 25000);
  EXPECT_EQ(status.ProgressPercent(), 100);
  EXPECT_EQ(status.filePath, folder_ + "x.txt");

  // After Done, Abort stops nothing and changes nothing.
  downloader.Abort();
  EXPECT_EQ(downloader.QueryStatus().phase, DownloadPhase::Done);
  EXPECT_EQ(ReadWholeFile(folder_ + "x.txt"), PatternContent(25000));

  // A second download whose probes never answer: right after Start the status
  // still shows the previous size and the folder.
  server_.Route("/stall/y.txt",
                [](const sim::RecordedRequest&) { return sim::ScriptedReply::Stall(); });
  downloader.Configure(Request(server_.HttpBase() + "/stall/y.txt", 3));
  const std::size_t before = server_.RequestCount();
  downloader.Start();
  status = downloader.QueryStatus();
  EXPECT_EQ(status.phase, DownloadPhase::Running);
  EXPECT_EQ(status.bytesDone, 0);
  EXPECT_EQ(status.totalSize, 25000);
  EXPECT_EQ(status.filePath, folder_);
  // The range probe is on the wire, unanswered.
  ASSERT_TRUE(server_.WaitForRequests(before + 1, 2s));
  const auto begun = std::chrono::steady_clock::now();
  downloader.Abort();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
  status = downloader.QueryStatus();
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::Aborted);
}

TEST_F(TaskObject, TwoObjectsShareOneTask) {
  SegmentedDownloader first(task_);
  SegmentedDownloader copy = first;
  SegmentedDownloader other(task_);
  first.Configure(Request(files_.Serve("/b/x.txt", File(PatternContent(30 * 10240))), 2));
  other.Start();
  ASSERT_TRUE(Eventually([&] { return copy.QueryStatus().bytesDone > 0; }));
  EXPECT_EQ(first.QueryStatus().phase, DownloadPhase::Running);
  const DownloadStatus end = WaitForEnd(copy);
  ASSERT_EQ(end.phase, DownloadPhase::Done);
  const DownloadStatus seen = first.QueryStatus();
  EXPECT_EQ(seen.phase, end.phase);
  EXPECT_EQ(seen.filePath, end.filePath);
  EXPECT_EQ(seen.BytesDone64(), end.BytesDone64());
  EXPECT_EQ(other.QueryStatus().filePath, folder_ + "x.txt");
}

TEST_F(TaskObject, ThreadCountOfZeroOrLessConfiguresOne) {
  SegmentedDownloader downloader(task_);
  for (int threads : {0, -3}) {
    downloader.Configure(Request("http://127.0.0.1/x.txt", threads));
    EXPECT_EQ(task_.segmentThreadCount, 1) << threads;
    EXPECT_EQ(task_.blockSize, 10240);
  }
  downloader.Configure(Request("http://127.0.0.1/x.txt", 7));
  EXPECT_EQ(task_.segmentThreadCount, 7);
}

TEST_F(TaskObject, PauseStopsProgressAndResumeRestartsIt) {
  const std::string content = PatternContent(60 * 10240);
  SegmentedDownloader downloader(task_);
  downloader.Configure(Request(files_.Serve("/p/x.txt", File(content)), 3));
  downloader.Start();
  ASSERT_TRUE(Eventually([&] { return downloader.QueryStatus().bytesDone > 0; }));
  downloader.Pause();
  EXPECT_EQ(downloader.QueryStatus().phase, DownloadPhase::Paused);
  // Pause returns once no write can land; requests already sent may still arrive.
  const std::int64_t held = downloader.QueryStatus().BytesDone64();
  std::this_thread::sleep_for(150ms);
  const std::size_t gets = CountGets(files_.RequestsFor("/p/x.txt"));
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(downloader.QueryStatus().BytesDone64(), held);
  EXPECT_EQ(CountGets(files_.RequestsFor("/p/x.txt")), gets);
  EXPECT_LT(held, static_cast<std::int64_t>(content.size()));

  downloader.Resume();
  EXPECT_EQ(downloader.QueryStatus().phase, DownloadPhase::Resumed);
  ASSERT_TRUE(Eventually([&] { return downloader.QueryStatus().BytesDone64() > held; }));
  const DownloadStatus end = WaitForEnd(downloader);
  ASSERT_EQ(end.phase, DownloadPhase::Done);
  EXPECT_EQ(ReadWholeFile(end.filePath), content);

  // Neither applies to a download that has ended.
  downloader.Pause();
  EXPECT_EQ(downloader.QueryStatus().phase, DownloadPhase::Done);
  downloader.Resume();
  EXPECT_EQ(downloader.QueryStatus().phase, DownloadPhase::Done);
}

TEST_F(TaskObject, AbortDuringATransferEndsEveryThreadWithinASecond) {
  sim::ServedFile file = File(PatternContent(25000));
  file.stallAlways = {10240};
  SegmentedDownloader downloader(task_);
  downloader.Configure(Request(files_.Serve("/abort/x.txt", file), 3));
  downloader.Start();
  ASSERT_TRUE(Eventually([&] {
    for (const auto& request : files_.RequestsFor("/abort/x.txt")) {
      if (request.Header("Range") == "bytes=10240-20479") return true;
    }
    return false;
  }));
  const auto begun = std::chrono::steady_clock::now();
  downloader.Abort();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
  EXPECT_FALSE(task_.managerThread.joinable());
  EXPECT_TRUE(task_.segmentThreads.empty());
  EXPECT_EQ(task_.runningSegments, 0);
  const DownloadStatus status = downloader.QueryStatus();
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::Aborted);
  EXPECT_TRUE(FolderListing().empty());
}

TEST_F(TaskObject, DestroyingAPausedDownloaderEndsItsThreads) {
  const std::string address = files_.Serve("/pd/x.txt", File(PatternContent(60 * 10240)));
  auto downloader = std::make_unique<SegmentedDownloader>(task_);
  downloader->Configure(Request(address, 4));
  downloader->Start();
  ASSERT_TRUE(Eventually([&] { return downloader->QueryStatus().bytesDone > 0; }));
  downloader->Pause();
  ASSERT_EQ(task_.phase.load(), DownloadPhase::Paused);
  const auto begun = std::chrono::steady_clock::now();
  downloader.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
  EXPECT_FALSE(task_.managerThread.joinable());
  EXPECT_EQ(task_.runningSegments, 0);
  EXPECT_EQ(task_.phase.load(), DownloadPhase::Failed);
  EXPECT_EQ(task_.failure.load(), DownloadFailure::Aborted);
}

TEST_F(TaskObject, CancelEndsInFailedAndNothingIsMovedIntoPlace) {
  const std::string content = PatternContent(60 * 10240);
  SegmentedDownloader downloader(task_);
  downloader.Configure(Request(files_.Serve("/c/x.txt", File(content)), 3));
  downloader.Start();
  ASSERT_TRUE(Eventually([&] { return downloader.QueryStatus().bytesDone > 0; }));
  downloader.Cancel();
  const DownloadStatus status = downloader.QueryStatus();
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::Cancelled);
  EXPECT_EQ(task_.runningSegments, 0);
  EXPECT_LT(CountGets(files_.RequestsFor("/c/x.txt")), 60u);
  EXPECT_TRUE(FolderListing().empty());

  // Cancel on an ended download changes nothing; the state can be used again.
  downloader.Cancel();
  EXPECT_EQ(downloader.QueryStatus().failure, DownloadFailure::Cancelled);
  downloader.Start();
  const DownloadStatus again = WaitForEnd(downloader);
  ASSERT_EQ(again.phase, DownloadPhase::Done);
  EXPECT_EQ(ReadWholeFile(again.filePath), content);
}

}  // namespace
}  // namespace tessaly::testing
