#include "job/text-document-download.h"

#include <gtest/gtest.h>

#include "../download/download-fixture.h"
#include "job/job-gate.h"
#include "support/codepage.h"

namespace tessaly::testing {
namespace {

using namespace std::chrono_literals;

// The output folder lies beside the program; here the program's directory is
// the test's own folder.
class TextDocument : public DownloadFixture {
 protected:
  void SetUp() override {
    DownloadFixture::SetUp();
    programDirectory_ = folder_ + "program";
    SetProgramDirectory(programDirectory_);
    outputFolder_ = programDirectory_ + "/" + Utf8ToGbk("提取出的文件") + "/";
    window_.SetOpenHook([this](const Text& path) {
      std::lock_guard lock(mutex_);
      opened_.push_back(path);
    });
    window_.AddObserver([this](const ControlChange& change) {
      if (change.control != Control::标签4 || change.property != Property::Text) return;
      std::lock_guard lock(mutex_);
      statusTexts_.push_back(change.text);
    });
  }
  void TearDown() override {
    SetProgramDirectory("");
    DownloadFixture::TearDown();
  }

  void Run(const std::string& address, const std::string& titleUtf8, int threads) {
    state_.title = Utf8ToGbk(titleUtf8);
    state_.threadCount = threads;
    JobContext ctx{state_, window_};
    DownloadTextDocument(ctx, address, task_);
  }

  std::vector<std::string> OutputListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(ToSystemPath(outputFolder_))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  Text programDirectory_;
  Text outputFolder_;
  JobState state_;
  WindowModel window_;
  std::mutex mutex_;
  std::vector<Text> opened_;
  std::vector<Text> statusTexts_;
};

TEST_F(TextDocument, RenamedToTheTitleAndOpened) {
  const std::string content = PatternContent(100000);
  const std::string address = files_.Serve("/files/x.txt", File(content));

  Run(address, "报告", 8);

  const Text renamed = outputFolder_ + Utf8ToGbk("报告.txt");
  EXPECT_EQ(OutputListing(), std::vector<std::string>{"报告.txt"});
  EXPECT_EQ(ReadWholeFile(renamed), content);
  EXPECT_EQ(opened_, std::vector<Text>{renamed});
  // Ten ranges: all eight threads chosen in the box were started.
  EXPECT_EQ(task_.segmentThreadCount, 8);
  EXPECT_EQ(state_.progressPercent, 100);
  EXPECT_TRUE(state_.result.downloadFailureReason.empty());
  ASSERT_GE(statusTexts_.size(), 2u);
  EXPECT_EQ(statusTexts_.front(), Utf8ToGbk("已提取：0%"));
  EXPECT_EQ(statusTexts_.back(), Utf8ToGbk("正在打开..."));
  for (std::size_t i = 0; i + 1 < statusTexts_.size(); ++i) {
    EXPECT_TRUE(StartsWith(statusTexts_[i], Utf8ToGbk("已提取："))) << GbkToUtf8(statusTexts_[i]);
    EXPECT_TRUE(EndsWith(statusTexts_[i], "%"));
  }

  // The same title again: the new file keeps the server's name and the first
  // download's file is the one opened.
  Run(address, "报告", 8);
  EXPECT_EQ(OutputListing(), (std::vector<std::string>{"x.txt", "报告.txt"}));
  EXPECT_EQ(ReadWholeFile(outputFolder_ + "x.txt"), content);
  EXPECT_EQ(opened_, (std::vector<Text>{renamed, renamed}));
}

TEST_F(TextDocument, TitlesFromTheNetworkStayInsideTheOutputFolder) {
  struct Case {
    const char* title;
    const char* savedAs;
  };
  const Case cases[] = {
      {"../../escape", "----escape.txt"},
      {"a/b", "a-b.txt"},
      {"", ".txt"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const std::string address =
        files_.Serve("/t" + std::to_string(++index) + "/x.txt", File("text"));
    Run(address, c.title, 2);
    EXPECT_EQ(OutputListing(), std::vector<std::string>{c.savedAs});
    EXPECT_EQ(ReadWholeFile(outputFolder_ + c.savedAs), "text");
    ASSERT_FALSE(opened_.empty());
    EXPECT_EQ(opened_.back(), outputFolder_ + c.savedAs);
    std::filesystem::remove(ToSystemPath(outputFolder_ + c.savedAs));
  }
  EXPECT_EQ(FolderListing(), std::vector<std::string>{"program"});
}

TEST_F(TextDocument, AFailedDownloadEndsThePollingWithItsReason) {
  sim::ServedFile file = File(PatternContent(25000));
  file.rangeSupport = false;
  const auto begun = std::chrono::steady_clock::now();
  Run(files_.Serve("/nr/x.txt", file), "报告", 4);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 2s);
  const Text reason = DownloadFailureText(DownloadFailure::NoRangeSupport);
  EXPECT_EQ(state_.result.downloadFailureReason, reason);
  EXPECT_EQ(window_.GetText(Control::编辑框1), reason);
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(OutputListing().empty());
}

TEST_F(TextDocument, AStoppedJobAbortsTheDownload) {
  sim::ServedFile file = File(PatternContent(25000));
  file.stallAlways = {0};
  const std::string address = files_.Serve("/stop/x.txt", file);
  std::thread stopper([this] {
    if (!server_.WaitForRequests(4, 5s)) return;
    RequestJobStop(state_);
  });
  const auto begun = std::chrono::steady_clock::now();
  Run(address, "报告", 2);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 3s);
  EXPECT_EQ(task_.phase.load(), DownloadPhase::Failed);
  EXPECT_EQ(task_.failure.load(), DownloadFailure::Aborted);
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(OutputListing().empty());
}

}  // namespace
}  // namespace tessaly::testing
