#include "pagetext/page-decode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "doc-service.h"
#include "support/codepage.h"
#include "support/file-system.h"
#include "web/web-settings.h"

namespace tessaly {
namespace {

using sim::DocService;
using sim::Fault;
using sim::SimDocument;
using sim::SimItem;
using sim::SimPage;

DocService& Service() {
  static DocService service;
  static const bool started = service.Start();
  if (!started) ADD_FAILURE() << "document service did not start";
  return service;
}

std::size_t RequestsFor(const std::string& path) {
  std::size_t count = 0;
  for (const auto& request : Service().Requests()) count += request.Path() == path;
  return count;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class PageDecodeFixture {
 protected:
  PageDecodeFixture() {
    Service().ExportEnvironment();
    ReloadWebSettingsForTesting();
    Service().ClearRequests();
    state.pageFolder = MakePrivateTempDirectory("page-decode-test-");
    state.progressLock = std::make_unique<std::mutex>();
  }
  ~PageDecodeFixture() {
    for (std::int32_t page = 1; page <= 8; ++page) DeleteFile(PageFilePath(state, page));
    RemoveDirectory(state.pageFolder);
  }

  // Serves `pages` as a document and points the job's list at it.
  void Serve(const std::string& id, std::vector<SimPage> pages) {
    SimDocument document;
    document.id = id;
    document.pages = std::move(pages);
    state.PageAddressList.clear();
    for (int page = 1; page <= static_cast<int>(document.pages.size()); ++page) {
      state.PageAddressList.push_back(DocService::ContentAddress(document, page));
    }
    state.pageCount = static_cast<std::int32_t>(document.pages.size());
    Service().AddDocument(std::move(document));
  }

  Bytes PageFile(std::int32_t page) { return ReadWholeFile(PageFilePath(state, page)); }

  JobState state;
  WindowModel window;
  JobContext ctx{state, window};
};

SimPage Items(std::vector<SimItem> items) {
  SimPage page;
  page.items = std::move(items);
  return page;
}

SimPage Faulty(Fault fault) {
  SimPage page = sim::PageFromLines({"x"}, true);
  page.fault = fault;
  return page;
}

const std::string kEnter = "{\"_enter\":1}";
// Long enough for a sanitizer build's TLS handshake; short where nothing comes.
constexpr PageFetchPolicy kQuick{3, 4.0};
constexpr PageFetchPolicy kShort{3, 0.3};

struct DecodeCase {
  const char* name;
  SimPage page;
  bool deleteBlankLines;
  bool trimLines;
  std::string file;
  PageOutcome outcome;
  std::size_t requests;
  PageFetchPolicy policy = kQuick;
};

class PageDecodeTest : public PageDecodeFixture, public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PageDecodeTest, FileOutcomeAndRequests) {
  const DecodeCase& c = GetParam();
  const std::string id = std::string("dec") + c.name;
  Serve(id, {c.page});
  state.deleteBlankLines = c.deleteBlankLines;
  state.trimLines = c.trimLines;
  EXPECT_EQ(DecodePage(ctx, 1, c.policy), c.outcome);
  Bytes file;
  ASSERT_TRUE(ReadWholeFile(PageFilePath(state, 1), file))
      << "a page file is written for every page";
  EXPECT_EQ(file, c.file);
  EXPECT_EQ(RequestsFor("/sim/content/" + id + "/1.json"), c.requests);
  const bool failed = c.outcome != PageOutcome::kText && c.outcome != PageOutcome::kBlank;
  EXPECT_EQ(FailedPages(state),
            failed ? std::vector<std::int32_t>{1} : std::vector<std::int32_t>{});
  EXPECT_EQ(state.pagesDone, 1) << "the progress advances for every page";
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageDecodeTest,
    ::testing::Values(
        DecodeCase{"GeneratedOdd", sim::GeneratedDocument("g", 1).pages[0], true, false,
                   sim::GeneratedPageFile("g", 1, false), PageOutcome::kText, 1},
        DecodeCase{"GeneratedEvenKeepsTrailingSpace", sim::GeneratedDocument("g", 2).pages[1], true,
                   false, sim::GeneratedPageFile("g", 2, false), PageOutcome::kText, 1},
        DecodeCase{"GeneratedEvenTrimmed", sim::GeneratedDocument("g", 2).pages[1], false, true,
                   sim::GeneratedPageFile("g", 2, true), PageOutcome::kText, 1},
        DecodeCase{"ThreeItemExample",
                   Items({{"A ", 100, 20, "{}"}, {"B", 130, 20, "{}"}, {"C", 130, 20, kEnter}}),
                   false, false, "A \r\nBC\r\n", PageOutcome::kText, 1},
        DecodeCase{"ThreeItemExampleTrimmed",
                   Items({{"A ", 100, 20, "{}"}, {"B", 130, 20, "{}"}, {"C", 130, 20, kEnter}}),
                   false, true, "A\r\nBC\r\n", PageOutcome::kText, 1},
        DecodeCase{"ChineseAndBlankLines",
                   Items({{Utf8ToGbk("春天"), 0, 20, kEnter},
                          {" ", 30, 20, kEnter},
                          {Utf8ToGbk("  来了  "), 60, 20, kEnter}}),
                   true, true, Utf8ToGbk("春天\r\n来了\r\n"), PageOutcome::kText, 1},
        DecodeCase{"BlankPage", Items({}), true, false, "", PageOutcome::kBlank, 1},
        DecodeCase{"NotFound", Faulty(Fault::kNotFound), true, false, "", PageOutcome::kHttpError,
                   1},
        DecodeCase{"EmptyBody", Faulty(Fault::kEmptyBody), true, false, "",
                   PageOutcome::kNoItemList, 1},
        DecodeCase{"CutOff", Faulty(Fault::kCutOff), true, false, "", PageOutcome::kNoItemList, 1},
        DecodeCase{"NoItemList", Faulty(Fault::kNoItemList), true, false, "",
                   PageOutcome::kNoItemList, 1},
        DecodeCase{"NeverAnswers", Faulty(Fault::kStall), true, false, "", PageOutcome::kNoAnswer,
                   3, kShort},
        DecodeCase{"ClosedWithoutAnswer", Faulty(Fault::kClose), true, false, "",
                   PageOutcome::kNoAnswer, 3, kShort}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

class PageDecodeSingle : public PageDecodeFixture, public ::testing::Test {};

TEST_F(PageDecodeSingle, SlowFirstAnswerIsAbandonedAfterTheAttemptTime) {
  SimPage page = sim::PageFromLines({"late"}, true);
  page.slowAnswers = 1;
  page.slowDelay = std::chrono::milliseconds(5600);
  Serve("slow5", {page});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DecodePage(ctx, 1, PageFetchPolicy{}), PageOutcome::kText);
  const double seconds = SecondsSince(start);
  EXPECT_EQ(PageFile(1), "late\r\n");
  EXPECT_EQ(RequestsFor("/sim/content/slow5/1.json"), 2u);
  EXPECT_GE(seconds, 4.9);
  EXPECT_LT(seconds, 8.0) << "the second attempt follows the abandoned first at once";
}

TEST_F(PageDecodeSingle, StalledAttemptsTakeTheirTimeEach) {
  Serve("stall3", {Faulty(Fault::kStall)});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DecodePage(ctx, 1, kShort), PageOutcome::kNoAnswer);
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.85);
  EXPECT_LT(seconds, 3.0);
}

TEST_F(PageDecodeSingle, ProgressCountsFinishedPagesNotPageNumbers) {
  std::vector<SimPage> pages(8, sim::PageFromLines({"p"}, true));
  Serve("prog8", pages);
  std::vector<ControlChange> changes;
  window.AddObserver([&changes](const ControlChange& change) { changes.push_back(change); });
  const int frame = window.Width(Control::外形框2);

  DecodePage(ctx, 7, kQuick);
  EXPECT_EQ(state.pagesDone, 1);
  EXPECT_EQ(state.progressPercent, 13) << "12.5 rounds up";
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].control, Control::标签4);
  EXPECT_EQ(changes[0].text, Utf8ToGbk("已提取：13%"));
  EXPECT_EQ(changes[1].control, Control::标签3);
  EXPECT_EQ(changes[1].text, Utf8ToGbk("（第1页/共8页）"));
  EXPECT_EQ(changes[2].control, Control::标签2);
  EXPECT_EQ(changes[2].property, Property::Width);
  EXPECT_EQ(changes[2].number, ProgressFillWidth(13, frame));

  DecodePage(ctx, 2, kQuick);
  EXPECT_EQ(window.GetText(Control::标签4), Utf8ToGbk("已提取：25%"));
  EXPECT_EQ(window.GetText(Control::标签3), Utf8ToGbk("（第2页/共8页）"));
  EXPECT_EQ(PageFile(7), "p\r\n");
  EXPECT_EQ(PageFile(2), "p\r\n");
  EXPECT_FALSE(FileExists(PageFilePath(state, 1)));
}

TEST_F(PageDecodeSingle, OlderFileOfThatNameIsEmptied) {
  Serve("blank1", {Items({})});
  ASSERT_TRUE(WriteWholeFile(PageFilePath(state, 1), "stale text\r\n"));
  EXPECT_EQ(DecodePage(ctx, 1, kQuick), PageOutcome::kBlank);
  EXPECT_EQ(PageFile(1), "");
}

TEST_F(PageDecodeSingle, NoFolderWritesNothing) {
  Serve("nofolder", {sim::PageFromLines({"q"}, true)});
  const Text folder = state.pageFolder;
  state.pageFolder.clear();
  EXPECT_EQ(DecodePage(ctx, 1, kQuick), PageOutcome::kText);
  EXPECT_FALSE(FileExists(PageFilePath(state, 1))) << "never a page file in the working folder";
  EXPECT_EQ(state.pagesDone, 1);
  state.pageFolder = folder;
}

TEST_F(PageDecodeSingle, PageOutsideTheListCountsAsUnanswered) {
  Serve("one", {sim::PageFromLines({"q"}, true)});
  EXPECT_EQ(DecodePage(ctx, 2, kQuick), PageOutcome::kNoAnswer);
  EXPECT_EQ(Service().Requests().size(), 0u);
  EXPECT_EQ(state.pagesDone, 1);
}

TEST_F(PageDecodeSingle, SampleDocumentPages) {
  SimDocument sample;
  ASSERT_TRUE(sim::LoadSampleDocument(sim::DefaultSamplePath(), sample));
  Serve("sample", sample.pages);
  state.deleteBlankLines = true;
  Text text;
  for (std::int32_t page = 1; page <= state.pageCount; ++page) {
    EXPECT_EQ(DecodePage(ctx, page, kQuick), PageOutcome::kText);
    text += PageFile(page);
  }
  EXPECT_EQ(text, sim::SampleDocumentText(sim::DefaultSamplePath()));
  EXPECT_NE(text.find(Utf8ToGbk("旧书店的黄昏\r\n城南那条窄街")), std::string::npos);
}

}  // namespace
}  // namespace tessaly
