// Stopping a job at its three kinds of wait, on the window model.
#include "ui/stop-job.h"

#include <gtest/gtest.h>

#include "job-harness.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using testing::Gbk;
using testing::JobHarness;
using testing::Recorded;
using testing::RequestsWithPathPrefix;
using testing::ScratchFolder;
using testing::Service;
using testing::WaitUntil;

class StopJobTest : public ::testing::Test {
 protected:
  StopJobTest() : scratch_("stop") {
    Service();  // started before TMPDIR points into the scratch folder
    std::filesystem::create_directories(scratch_.path() / "tmp");
    ::setenv("TMPDIR", (scratch_.path() / "tmp").c_str(), 1);
    SetProgramDirectory(scratch_.path().string());
    Service().ClearRequests();
  }
  ~StopJobTest() override {
    SetProgramDirectory("");
    ::unsetenv("TMPDIR");
  }

  // Presses the button while it reads 停止, as the window's thread does.
  void PressStop() {
    ASSERT_EQ(job.window.GetText(Control::按钮1), Gbk("停止"));
    ClickExtractButton(job.ctx);
  }

  ScratchFolder scratch_;
  JobHarness job;
};

TEST_F(StopJobTest, WhileTheViewPageIsFetched) {
  sim::SimDocument document = sim::GeneratedDocument("stopview", 3);
  document.latency = 3s;
  Service().AddDocument(document);
  job.Configure(sim::DocService::ViewAddress("stopview"), 5);
  ClickExtractButton(job.ctx);
  ASSERT_TRUE(WaitUntil([] { return RequestsWithPathPrefix("/view/stopview") >= 1; }));
  const auto started = std::chrono::steady_clock::now();
  PressStop();
  const std::size_t changesAtStop = job.LogSize();

  EXPECT_EQ(job.window.GetText(Control::编辑框1), "");
  EXPECT_EQ(job.window.GetText(Control::按钮1), Gbk("提取"));
  EXPECT_TRUE(job.window.IsEnabled(Control::按钮1));
  EXPECT_FALSE(job.window.IsVisible(Control::标签4));
  EXPECT_FALSE(job.window.IsVisible(Control::标签6));
  EXPECT_EQ(job.window.Width(Control::标签2), 670);
  EXPECT_EQ(job.state.ActiveWorkerCount.load(), 0);
  EXPECT_FALSE(job.state.pageLock);

  WaitForJobThread(job.ctx);
  // The cancelled fetch ends the thread long before the 3 s answer.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
  EXPECT_EQ(job.state.result.workersStarted, 0);
  EXPECT_EQ(RequestsWithPathPrefix("/sim/content/stopview/"), 0u);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(job.LogSize(), changesAtStop) << "the job changed the window after the stop";

  // The next job runs normally.
  Service().AddDocument(sim::GeneratedDocument("stopnext", 2));
  job.Configure(sim::DocService::ViewAddress("stopnext"), 5);
  job.Run();
  EXPECT_EQ(job.window.GetText(Control::编辑框1), sim::GeneratedDocumentText("stopnext", 2, false));
  EXPECT_EQ(scratch_.Entries(), std::vector<std::string>{"tmp"});
}

TEST_F(StopJobTest, WhileFiveWorkersConvertPages) {
  sim::SimDocument document = sim::GeneratedDocument("stopwork", 30);
  for (auto& page : document.pages) {
    page.slowAnswers = 1;
    page.slowDelay = 600ms;
  }
  Service().AddDocument(document);
  struct Seen {
    int busy;
    bool overlay;
    Text caption;
  };
  std::vector<Seen> seen;
  job.window.SetPendingEventsHook([&] {
    seen.push_back({job.state.ActiveWorkerCount.load(), job.window.IsVisible(Control::标签6),
                    job.window.GetText(Control::标签6)});
  });
  job.Configure(sim::DocService::ViewAddress("stopwork"), 5);
  ClickExtractButton(job.ctx);
  ASSERT_TRUE(WaitUntil([] { return RequestsWithPathPrefix("/sim/content/stopwork/") >= 5; }));
  const std::size_t logBefore = job.LogSize();
  PressStop();
  const std::size_t claimed = RequestsWithPathPrefix("/sim/content/stopwork/");

  ASSERT_FALSE(seen.empty());
  EXPECT_GT(seen.front().busy, 0);
  for (const Seen& s : seen) {
    EXPECT_TRUE(s.overlay);
    EXPECT_EQ(s.caption, Gbk("正在停止..."));
  }
  EXPECT_EQ(job.state.ActiveWorkerCount.load(), 0);
  EXPECT_FALSE(job.window.IsVisible(Control::标签6));
  EXPECT_EQ(job.window.GetText(Control::按钮1), Gbk("提取"));
  EXPECT_EQ(job.window.GetText(Control::编辑框1), "");
  EXPECT_EQ(job.window.Left(Control::标签6), 16);
  EXPECT_EQ(job.window.Top(Control::标签6), 120);
  EXPECT_EQ(job.window.Width(Control::标签6), 672);
  EXPECT_EQ(job.window.Height(Control::标签6), 434);
  // Every claimed page was finished and counted; no page was claimed after the stop.
  EXPECT_GE(claimed, 5u);
  EXPECT_LT(claimed, 30u);
  EXPECT_EQ(job.state.pagesDone, static_cast<std::int32_t>(claimed));

  WaitForJobThread(job.ctx);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(RequestsWithPathPrefix("/sim/content/stopwork/"), claimed);
  EXPECT_EQ(scratch_.Entries(), std::vector<std::string>{"tmp"});

  // The stop's own changes, in its order, after what the workers had shown.
  std::vector<std::pair<Control, Property>> stopSteps;
  const auto log = job.Log();
  for (std::size_t i = logBefore; i < log.size(); ++i) {
    const auto& c = log[i].change;
    if (log[i].kind != Recorded::Kind::Change) continue;
    if (c.control == Control::标签4 && c.property == Property::Text) continue;  // workers' progress
    if (c.control == Control::标签3 && c.property == Property::Text) continue;
    if (c.control == Control::标签2 && c.property == Property::Width && c.number != 670) continue;
    stopSteps.emplace_back(c.control, c.property);
  }
  const std::vector<std::pair<Control, Property>> expected = {
      {Control::按钮1, Property::Enabled}, {Control::标签6, Property::Left},
      {Control::标签6, Property::Top},     {Control::标签6, Property::Width},
      {Control::标签6, Property::Height},  {Control::标签6, Property::Text},
      {Control::标签6, Property::Visible}, {Control::按钮1, Property::Text},
      {Control::标签2, Property::Width},   {Control::标签4, Property::Visible},
      {Control::标签3, Property::Visible}, {Control::标签6, Property::Visible},
      {Control::按钮1, Property::Enabled},
  };
  EXPECT_EQ(stopSteps, expected);
}

TEST_F(StopJobTest, WhileImagesAreSaved) {
  sim::SimDocument document = sim::GeneratedDocument("stopimg", 8);
  for (auto& page : document.pages) page.imageBytes = 1500;
  document.title = Gbk("停图");
  document.latency = 150ms;
  Service().AddDocument(document);
  job.Configure(sim::DocService::ViewAddress("stopimg"), 8, false, false, true);
  const auto folder = scratch_.path() / GbkToUtf8(Text(texts::kImageRoot)) / GbkToUtf8(Gbk("停图"));
  auto images = [&] {
    std::size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); ++it)
      ++count;
    return count;
  };
  ClickExtractButton(job.ctx);
  ASSERT_TRUE(WaitUntil([&] { return images() >= 2; }, 30s));
  PressStop();
  const std::size_t saved = images();
  WaitForJobThread(job.ctx);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(images(), saved);
  EXPECT_LT(saved, 8u);
  EXPECT_TRUE(job.Opened().empty());
  EXPECT_EQ(job.window.GetText(Control::按钮1), Gbk("提取"));
  EXPECT_FALSE(job.window.IsVisible(Control::标签4));
}

TEST_F(StopJobTest, AfterTheFinalResetChangesNothing) {
  Service().AddDocument(sim::GeneratedDocument("stoplate", 1));
  job.Configure(sim::DocService::ViewAddress("stoplate"), 5);
  job.Run();
  const std::size_t before = job.LogSize();
  StopJob(job.ctx);
  EXPECT_EQ(job.LogSize(), before);
  EXPECT_EQ(job.window.GetText(Control::编辑框1), sim::GeneratedDocumentText("stoplate", 1, false));
}

}  // namespace
}  // namespace tessaly
