#include <gtest/gtest.h>

#include "download-fixture.h"
#include "support/codepage.h"

namespace tessaly::testing {
namespace {

using FileNames = DownloadFixture;

struct NameCase {
  const char* path;  // served at this path, asked with `query` after it
  const char* query;
  const char* disposition;
  std::string savedAs;  // UTF-8 name on disk; "" when the download must fail
};

TEST_F(FileNames, NamesFromTheServerAndTheAddress) {
  const NameCase cases[] = {
      {"/n1/get", "", "attachment; filename=\"%E6%8A%A5%E5%91%8A%20one.txt\"", "报告 one.txt"},
      {"/n2/a.txt", "", "attachment; FILENAME=\"b.txt\"", "a.txt"},
      {"/n3/a.txt", "", "attachment; filename=b.txt", "a.txt"},
      {"/n4/doc.txt", "?token=1&v=2", "", "doc.txt"},
      {"/n5/a%3Fb.txt", "", "", "a"},
      {"/n6/a%2Fb.txt", "", "", "a-b.txt"},
      {"/n7/end.txt/", "", "", "end.txt"},
      {"/n8/download", "?id=3", "", ""},
      // Names from the network never leave the folder.
      {"/n9/get", "", "attachment; filename=\"../../escape.txt\"", "----escape.txt"},
      {"/n10/get", "", "attachment; filename=\"%2E%2E%2Fup.txt\"", "--up.txt"},
      {"/n11/get", "", "attachment; filename=\"a\\b:c.txt\"", "a-b-c.txt"},
      {"/n12/get", "", "attachment; filename=\"..\"", "-"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.path);
    sim::ServedFile file = File(PatternContent(3000));
    file.contentDisposition = c.disposition;
    const std::string address = files_.Serve(c.path, file) + c.query;
    const DownloadStatus status = Download(address, 2);
    if (c.savedAs.empty()) {
      EXPECT_EQ(status.phase, DownloadPhase::Failed);
      EXPECT_EQ(status.failure, DownloadFailure::NoFileName);
      EXPECT_TRUE(FolderListing().empty());
      continue;
    }
    ASSERT_EQ(status.phase, DownloadPhase::Done) << static_cast<int>(status.failure);
    EXPECT_EQ(status.filePath, folder_ + Utf8ToGbk(c.savedAs));
    EXPECT_EQ(FolderListing(), std::vector<std::string>{c.savedAs});
    EXPECT_EQ(ReadWholeFile(status.filePath), file.content);
    std::filesystem::remove(ToSystemPath(status.filePath));
  }
}

TEST_F(FileNames, DoubledSeparatorsInTheFolderAreMadeSingle) {
  const std::string address = files_.Serve("/d/x.txt", File("abc"));
  SegmentedDownloader downloader(task_);
  DownloadRequest request = Request(address, 1);
  request.targetFolder = folder_ + "/sub//";
  downloader.Configure(request);
  downloader.Start();
  const DownloadStatus status = WaitForEnd(downloader);
  ASSERT_EQ(status.phase, DownloadPhase::Done);
  EXPECT_EQ(status.filePath, folder_ + "sub/x.txt");
  EXPECT_EQ(ReadWholeFile(status.filePath), "abc");
}

}  // namespace
}  // namespace tessaly::testing
