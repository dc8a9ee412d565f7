#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "download-fixture.h"
#include "download/work-file.h"

namespace tessaly::testing {
namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

using LargeFiles = DownloadFixture;

TEST_F(LargeFiles, WorkFilesOfThreeAndFiveGibibytesGetTheirLengthAndFarOffsets) {
  for (const std::int64_t size : {3 * kGiB, 5 * kGiB}) {
    SCOPED_TRACE(size);
    const Text path = folder_ + "big/x.txt.tmp";
    ASSERT_EQ(PreallocateFile(path, size), 1);
    struct stat info {};
    ASSERT_EQ(::stat(ToSystemPath(path).c_str(), &info), 0);
    EXPECT_EQ(static_cast<std::int64_t>(info.st_size), size);
    // The open last range of the plan, past every 32-bit offset.
    const std::int64_t last = (size - 1) / 10240 * 10240;
    ASSERT_TRUE(WriteAt(path, last, "tail"));
    std::ifstream in(ToSystemPath(path), std::ios::binary);
    in.seekg(last);
    char back[4] = {};
    in.read(back, 4);
    EXPECT_EQ(std::string(back, 4), "tail");
    ASSERT_EQ(::stat(ToSystemPath(path).c_str(), &info), 0);
    EXPECT_EQ(static_cast<std::int64_t>(info.st_size), size);
    ASSERT_TRUE(DeleteFile(path));
  }
}

TEST(LargeStatus, SixtyFourBitAccessorsServeProgress) {
  struct Case {
    std::int64_t total;
    std::int64_t done;
    std::int32_t low32Total;
    std::int32_t low32Done;
    std::int32_t percent;
  };
  const Case cases[] = {
      {3 * kGiB, 3 * kGiB / 2, -1073741824, 1610612736, 50},
      {5 * kGiB, 3 * kGiB, 1073741824, -1073741824, 60},
      {5 * kGiB, 5 * kGiB, 1073741824, 1073741824, 100},
      {25000, 12500, 25000, 12500, 50},
      {-2, 0, -2, 0, 0},
      {0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DownloadStatus status;
    status.SetSizes(c.total, c.done);
    EXPECT_EQ(status.TotalSize64(), c.total);
    EXPECT_EQ(status.BytesDone64(), c.done);
    EXPECT_EQ(status.totalSize, c.low32Total) << c.total;
    EXPECT_EQ(status.bytesDone, c.low32Done) << c.done;
    EXPECT_EQ(status.ProgressPercent(), c.percent) << c.total;
  }
}

TEST_F(LargeFiles, StatusOfADownloadPlannedForFiveGibibytes) {
  // The task as the manager leaves it after planning a 5 GiB file, without a
  // transfer: the status reports every 64-bit value unchanged.
  task_.totalSize = 5 * kGiB;
  task_.bytesDone = 5 * kGiB - 10240;
  task_.phase = DownloadPhase::Running;
  const DownloadStatus status = SegmentedDownloader(task_).QueryStatus();
  EXPECT_EQ(status.TotalSize64(), 5 * kGiB);
  EXPECT_EQ(status.BytesDone64(), 5 * kGiB - 10240);
  EXPECT_EQ(status.ProgressPercent(), 100);
  task_.bytesDone = 2 * kGiB;
  EXPECT_EQ(SegmentedDownloader(task_).QueryStatus().ProgressPercent(), 40);
}

}  // namespace
}  // namespace tessaly::testing
