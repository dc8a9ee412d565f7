#include <gtest/gtest.h>

#include "download-fixture.h"
#include "download/work-file.h"

namespace tessaly::testing {
namespace {

using Failures = DownloadFixture;

struct FailureCase {
  const char* name;
  void (*script)(sim::ServedFile& file);
  DownloadFailure failure;
  bool anyGet;  // whether ranged GETs are expected at all
};

const FailureCase kFastFailures[] = {
    {"no range support", [](sim::ServedFile& f) { f.rangeSupport = false; },
     DownloadFailure::NoRangeSupport, false},
    {"no content length", [](sim::ServedFile& f) { f.contentLength = false; },
     DownloadFailure::NoSize, false},
    {"ranges answered with 200 and the whole file",
     [](sim::ServedFile& f) { f.rangeFault = sim::ServedFile::RangeFault::kWholeFile200; },
     DownloadFailure::LostRanges, true},
    {"ranges shifted by a byte",
     [](sim::ServedFile& f) { f.rangeFault = sim::ServedFile::RangeFault::kShifted; },
     DownloadFailure::LostRanges, true},
    {"ranges one byte short",
     [](sim::ServedFile& f) { f.rangeFault = sim::ServedFile::RangeFault::kShortBody; },
     DownloadFailure::LostRanges, true},
};

TEST_F(Failures, RefusedOrWrongAnswersEndInFailedWithoutAFile) {
  int index = 0;
  for (const FailureCase& c : kFastFailures) {
    SCOPED_TRACE(c.name);
    const std::string path = "/f" + std::to_string(++index) + "/x.txt";
    sim::ServedFile file = File(PatternContent(25000));
    c.script(file);
    const DownloadStatus status = Download(files_.Serve(path, file), 4);
    EXPECT_EQ(status.phase, DownloadPhase::Failed);
    EXPECT_EQ(status.failure, c.failure);
    EXPECT_FALSE(DownloadFailureText(status.failure).empty());
    EXPECT_TRUE(FolderListing().empty());
    if (c.failure == DownloadFailure::LostRanges) {
      // Three rejected attempts per range, nothing written or counted.
      EXPECT_EQ(task_.lostRanges, 3);
      EXPECT_EQ(status.BytesDone64(), 0);
    }
    bool sawGet = false;
    for (const auto& request : files_.RequestsFor(path)) sawGet |= request.method == "GET";
    EXPECT_EQ(sawGet, c.anyGet);
  }
}

TEST_F(Failures, AFailedDownloadLeavesAnOlderFileAtTheFinalPath) {
  ASSERT_TRUE(WriteWholeFile(folder_ + "x.txt", "older"));
  sim::ServedFile file = File(PatternContent(25000));
  file.rangeFault = sim::ServedFile::RangeFault::kShifted;
  const DownloadStatus status = Download(files_.Serve("/old/x.txt", file), 2);
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(ReadWholeFile(folder_ + "x.txt"), "older");
  EXPECT_EQ(FolderListing(), std::vector<std::string>{"x.txt"});
}

TEST_F(Failures, SizeProbeUnansweredWithinFiveSeconds) {
  sim::ServedFile file = File(PatternContent(25000));
  file.stallSizeProbe = true;
  const auto begun = std::chrono::steady_clock::now();
  const DownloadStatus status = Download(files_.Serve("/slow/x.txt", file), 2);
  const auto took = std::chrono::steady_clock::now() - begun;
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::SizeTimedOut);
  EXPECT_EQ(status.TotalSize64(), -2);
  EXPECT_GE(took, std::chrono::milliseconds(4900));
  EXPECT_LT(took, std::chrono::milliseconds(7000));
  EXPECT_TRUE(FolderListing().empty());
}

TEST_F(Failures, RangeStalledOnceIsFetchedOnTheSecondAttempt) {
  const std::string content = PatternContent(25000);
  sim::ServedFile file = File(content);
  file.stallOnce = {10240};
  const auto begun = std::chrono::steady_clock::now();
  const DownloadStatus status =
      Download(files_.Serve("/once/x.txt", file), 2, std::chrono::seconds(25));
  const auto took = std::chrono::steady_clock::now() - begun;
  ASSERT_EQ(status.phase, DownloadPhase::Done);
  EXPECT_EQ(ReadWholeFile(status.filePath), content);
  EXPECT_GE(took, std::chrono::seconds(10));
  EXPECT_LT(took, std::chrono::seconds(14));
  int asks = 0;
  for (const auto& request : files_.RequestsFor("/once/x.txt")) {
    asks += request.Header("Range") == "bytes=10240-20479";
  }
  EXPECT_EQ(asks, 2);
}

TEST_F(Failures, RangeNeverAnsweredIsLostAndTheDownloadFails) {
  // The three attempts are what is tested, not their 10 s each.
  task_.rangeAttemptSeconds = 1;
  sim::ServedFile file = File(PatternContent(25000));
  file.stallAlways = {10240};
  const DownloadStatus status = Download(files_.Serve("/never/x.txt", file), 3);
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::LostRanges);
  EXPECT_EQ(task_.lostRanges, 1);
  // The other two ranges were written and counted; the lost one was not.
  EXPECT_EQ(status.BytesDone64(), 25000 - 10240);
  EXPECT_TRUE(FolderListing().empty());
  int asks = 0;
  for (const auto& request : files_.RequestsFor("/never/x.txt")) {
    asks += request.Header("Range") == "bytes=10240-20479";
  }
  EXPECT_EQ(asks, 3);
}

TEST_F(Failures, NoServerAtAllFailsAtTheRangeProbe) {
  const std::string address = server_.HttpBase() + "/x.txt";
  server_.Stop();
  const DownloadStatus status = Download(address, 2);
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::NoRangeSupport);
  EXPECT_EQ(status.filePath, folder_);
}

TEST_F(Failures, WorkFileThatCannotBeMadeCountsNothing) {
  // A work path in a folder that cannot be made fails before any range.
  const std::string address = files_.Serve("/wf/x.txt", File(PatternContent(25000)));
  ASSERT_TRUE(WriteWholeFile(folder_ + "blocker", "a file where a folder should be"));
  SegmentedDownloader downloader(task_);
  DownloadRequest request = Request(address, 2);
  request.targetFolder = folder_ + "blocker/sub/";
  downloader.Configure(request);
  downloader.Start();
  const DownloadStatus status = WaitForEnd(downloader);
  EXPECT_EQ(status.phase, DownloadPhase::Failed);
  EXPECT_EQ(status.failure, DownloadFailure::WorkFile);
  EXPECT_EQ(status.BytesDone64(), 0);

  // A range write into a missing work file is refused rather than creating a
  // file that lacks the ranges counted before.
  EXPECT_FALSE(WriteAt(folder_ + "missing.tmp", 0, "abc"));
  EXPECT_FALSE(FileExists(folder_ + "missing.tmp"));
}

}  // namespace
}  // namespace tessaly::testing
