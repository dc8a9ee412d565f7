// Whole jobs on the window model against the document-service simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "job-harness.h"
#include "job/run-job.h"

// The tables of cases below are aligned by hand, one row a case.
// clang-format off

namespace tessaly {
namespace {

using testing::Gbk;
using testing::JobHarness;
using testing::Recorded;
using testing::ScratchFolder;
using testing::Service;

sim::SimItem Item(const char* utf8, double y, double h, const char* ps = "{}") {
  sim::SimItem item;
  item.text = Utf8ToGbk(utf8);
  item.y = y;
  item.h = h;
  item.ps = ps;
  return item;
}

sim::SimPage PageOf(std::vector<sim::SimItem> items) {
  sim::SimPage page;
  page.items = std::move(items);
  return page;
}

sim::SimPage FaultPage(sim::Fault fault) {
  sim::SimPage page = PageOf({Item("never seen", 100, 20, "{\"_enter\":1}")});
  page.fault = fault;
  return page;
}

// The layout examples: A/B/C, a gap of exactly 0, a dropped empty item, a ps
// with further keys, and a page with blank lines.
sim::SimDocument LayoutDocument(const std::string& id) {
  sim::SimDocument document;
  document.id = id;
  document.title = Gbk("版式");
  document.pages.push_back(PageOf({Item("A ", 100, 20), Item("B", 130, 20), Item("C", 130, 20, "{\"_enter\":1}")}));
  document.pages.push_back(PageOf({Item("D ", 100, 20), Item("E", 120, 20), Item("", 200, 20),
                                   Item("G", 300, 20), Item("H", 330, 20, "{\"_enter\":1,\"x\":2}")}));
  document.pages.push_back(PageOf({Item("P", 100, 20, "{\"_enter\":1}"), Item("\r\n", 130, 20, "{\"_enter\":1}"),
                                   Item("Q", 160, 20, "{\"_enter\":1}")}));
  return document;
}

sim::SimDocument Generated(const std::string& id, int pages,
                           const std::function<void(sim::SimDocument&)>& adjust = {}) {
  sim::SimDocument document = sim::GeneratedDocument(id, pages);
  if (adjust) adjust(document);
  return document;
}

struct Options {
  int threads = 5;
  bool keepBlankLines = false;
  bool trim = false;
};

struct JobCase {
  const char* name;
  sim::SimDocument document;
  std::string address;  // empty: the document's https view address
  Options options;
  std::string expectedText;  // GBK
  ProbeKind kind;
  int workers;
  std::vector<std::int32_t> failedPages;
  // Further checks on the requests the service saw for this case.
  std::function<void(const std::vector<sim::RecordedRequest>&)> requests;
};

std::vector<sim::RecordedRequest> ViewRequests(const std::vector<sim::RecordedRequest>& all,
                                               const std::string& id) {
  std::vector<sim::RecordedRequest> views;
  for (const auto& request : all) {
    if (request.Path() == "/view/" + id + ".html") views.push_back(request);
  }
  return views;
}

std::size_t CountPrefix(const std::vector<sim::RecordedRequest>& all, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      all.begin(), all.end(), [&](const auto& r) { return r.Path().rfind(prefix, 0) == 0; }));
}

std::string Joined(const TextList& pieces) {
  std::string out;
  for (const auto& piece : pieces) out += piece;
  return out;
}

std::vector<JobCase> Cases() {
  std::vector<JobCase> cases;
  // Early pages answer last, so the join must go by page number.
  cases.push_back({"seven pages, five threads", Generated("e2e7", 7, [](sim::SimDocument& d) {
                     d.pages[0].slowAnswers = 1;
                     d.pages[0].slowDelay = std::chrono::milliseconds(700);
                     d.pages[1].slowAnswers = 1;
                     d.pages[1].slowDelay = std::chrono::milliseconds(400);
                   }),
                   "", {5}, sim::GeneratedDocumentText("e2e7", 7, false), ProbeKind::PagedDocument, 5, {},
                   [](const auto& requests) { EXPECT_EQ(CountPrefix(requests, "/sim/content/e2e7/"), 7u); }});
  cases.push_back({"three pages, twenty threads", Generated("e2e3", 3), "", {20},
                   sim::GeneratedDocumentText("e2e3", 3, false), ProbeKind::PagedDocument, 3, {}, {}});
  cases.push_back({"trimmed lines", Generated("e2etrim", 4), "", {2, false, true},
                   sim::GeneratedDocumentText("e2etrim", 4, true), ProbeKind::PagedDocument, 2, {}, {}});
  cases.push_back({"120 pages: two batch pages over http", Generated("e2e120", 120), "", {20},
                   sim::GeneratedDocumentText("e2e120", 120, false), ProbeKind::PagedDocument, 20, {},
                   [](const auto& requests) {
                     const auto views = ViewRequests(requests, "e2e120");
                     ASSERT_EQ(views.size(), 3u);
                     EXPECT_TRUE(views[0].tls);
                     EXPECT_EQ(views[0].Query(), "");
                     EXPECT_FALSE(views[1].tls);
                     EXPECT_EQ(views[1].Query(), "from=search&pn=51");
                     EXPECT_FALSE(views[2].tls);
                     EXPECT_EQ(views[2].Query(), "from=search&pn=101");
                     EXPECT_EQ(CountPrefix(requests, "/sim/content/e2e120/"), 120u);
                   }});
  cases.push_back({"typed batch address costs the canonical page over https", Generated("e2epn", 3),
                   "http://wenku.baidu.com/view/e2epn.html?from=search&pn=51", {5},
                   sim::GeneratedDocumentText("e2epn", 3, false), ProbeKind::PagedDocument, 3, {},
                   [](const auto& requests) {
                     const auto views = ViewRequests(requests, "e2epn");
                     ASSERT_EQ(views.size(), 2u);
                     EXPECT_FALSE(views[0].tls);
                     EXPECT_EQ(views[0].Query(), "from=search&pn=51");
                     EXPECT_TRUE(views[1].tls);
                     EXPECT_EQ(views[1].Query(), "");
                   }});
  cases.push_back({"docType DOC fails", Generated("e2eDOC", 2, [](auto& d) { d.docType = "DOC"; }), "", {5},
                   Gbk("提取失败"), ProbeKind::Failed, 0, {},
                   [](const auto& requests) { EXPECT_EQ(CountPrefix(requests, "/sim/content/e2eDOC/"), 0u); }});
  cases.push_back({"unreachable host fails", {}, "http://127.0.0.1:1/view/nothing.html", {5}, Gbk("提取失败"),
                   ProbeKind::Failed, 0, {}, {}});
  cases.push_back({"slide document", Generated("e2eppt", 2, [](auto& d) { d.docType = "ppt"; }), "", {5},
                   Joined(SlideInstructions("e2eppt")), ProbeKind::SlideDocument, 0, {}, {}});
  cases.push_back({"layout, blank lines deleted", LayoutDocument("e2elay1"), "", {5},
                   "A \r\nBC\r\nD EGH\r\nP\r\nQ\r\n", ProbeKind::PagedDocument, 3, {}, {}});
  cases.push_back({"layout, blank lines kept, lines trimmed", LayoutDocument("e2elay2"), "", {5, true, true},
                   "A\r\nBC\r\nD EGH\r\nP\r\n\r\n\r\nQ\r\n", ProbeKind::PagedDocument, 3, {}, {}});
  {
    sim::SimDocument bad;
    bad.id = "e2ebad";
    bad.title = Gbk("坏页");
    bad.pages.push_back(PageOf({Item("ok", 100, 20, "{\"_enter\":1}")}));
    bad.pages.push_back(FaultPage(sim::Fault::kCutOff));
    bad.pages.push_back(FaultPage(sim::Fault::kNotFound));
    bad.pages.push_back(FaultPage(sim::Fault::kNoItemList));
    bad.pages.push_back(PageOf({}));  // blank: read, not a failure
    bad.pages.push_back(FaultPage(sim::Fault::kEmptyBody));
    bad.pages.push_back(PageOf({Item("end", 100, 20, "{\"_enter\":1}")}));
    cases.push_back({"pages that cannot be read", bad, "", {3}, "ok\r\nend\r\n", ProbeKind::PagedDocument, 3,
                     {2, 3, 4, 6}, {}});
  }
  cases.push_back({"lists without entries", Generated("e2eempty", 3, [](auto& d) { d.emptyLists = true; }), "",
                   {5}, "", ProbeKind::PagedDocument, 0, {}, {}});
  for (const char* total : {"-5", "abc", "1000000000000"}) {
    cases.push_back({"odd totalPageNum", Generated(std::string("e2etot") + (total[0] == '-' ? "neg" : total[0] == 'a' ? "abc" : "big"), 2,
                                                   [total](auto& d) { d.totalPageNum = total; }),
                     "", {5}, "", ProbeKind::PagedDocument, 2, {}, {}});
    cases.back().expectedText = sim::GeneratedDocumentText(cases.back().document.id, 2, false);
  }
  cases.push_back({"view page of 20 MB", Generated("e2ehuge", 2, [](auto& d) { d.viewPadding = 20u << 20; }), "",
                   {5}, sim::GeneratedDocumentText("e2ehuge", 2, false), ProbeKind::PagedDocument, 2, {}, {}});
  cases.push_back({"a page that never answers", Generated("e2estall", 3, [](auto& d) {
                     d.pages[1] = FaultPage(sim::Fault::kStall);
                   }),
                   "", {3}, sim::GeneratedPageFile("e2estall", 1, false) + sim::GeneratedPageFile("e2estall", 3, false),
                   ProbeKind::PagedDocument, 3, {2},
                   [](const auto& requests) { EXPECT_EQ(CountPrefix(requests, "/sim/content/e2estall/2.json"), 3u); }});
  return cases;
}

void PrintTo(const JobCase& row, std::ostream* out) { *out << row.name; }

class JobEndToEnd : public ::testing::TestWithParam<JobCase> {};

TEST_P(JobEndToEnd, Row) {
  const JobCase& row = GetParam();
  ScratchFolder scratch("e2e");
  Service();  // started before TMPDIR points into the scratch folder
  std::filesystem::create_directories(scratch.path() / "tmp");
  ::setenv("TMPDIR", (scratch.path() / "tmp").c_str(), 1);
  SetProgramDirectory(scratch.path().string());

  if (!row.document.id.empty()) Service().AddDocument(row.document);
  Service().ClearRequests();
  JobHarness job;
  job.Configure(row.address.empty() ? sim::DocService::ViewAddress(row.document.id) : row.address,
                row.options.threads, row.options.keepBlankLines, row.options.trim);
  job.Run();

  EXPECT_EQ(job.window.GetText(Control::编辑框1), row.expectedText);
  EXPECT_EQ(job.state.result.kind, row.kind);
  EXPECT_EQ(job.state.result.workersStarted, row.workers);
  EXPECT_EQ(FailedPages(job.state), row.failedPages);
  // The final reset.
  EXPECT_EQ(job.window.GetText(Control::按钮1), Gbk("提取"));
  EXPECT_EQ(job.window.Width(Control::标签2), 670);
  EXPECT_FALSE(job.window.IsVisible(Control::标签4));
  EXPECT_FALSE(job.window.IsVisible(Control::标签3));
  EXPECT_TRUE(job.window.IsEnabled(Control::按钮1));
  EXPECT_FALSE(job.state.pageLock);
  EXPECT_FALSE(job.state.progressLock);
  EXPECT_TRUE(job.state.workerThreads.empty());
  EXPECT_EQ(job.state.ActiveWorkerCount.load(), 0);
  // No page file or page folder is left, and nothing was written beside the program.
  EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"tmp"});

  const auto log = job.Log();
  const auto box = std::find_if(log.begin(), log.end(), [](const Recorded& r) { return r.kind == Recorded::Kind::MessageBox; });
  if (row.kind == ProbeKind::Failed) {
    ASSERT_NE(box, log.end());
    EXPECT_EQ(box->text, Gbk("提取失败"));
    EXPECT_EQ(box->title, Gbk("温馨提示："));
    // The result box reads 提取失败 only after the box was answered.
    const auto failedText = std::find_if(log.begin(), log.end(), [](const Recorded& r) {
      return r.kind == Recorded::Kind::Change && r.change.control == Control::编辑框1 &&
             r.change.text == Gbk("提取失败");
    });
    EXPECT_LT(box - log.begin(), failedText - log.begin());
  } else {
    EXPECT_EQ(box, log.end());
  }
  if (row.kind == ProbeKind::PagedDocument || row.kind == ProbeKind::SlideDocument) {
    EXPECT_EQ(job.window.SelectionStart(Control::编辑框1), 0);
  }
  if (row.requests) row.requests(Service().Requests());
  SetProgramDirectory("");
  ::unsetenv("TMPDIR");
}

INSTANTIATE_TEST_SUITE_P(Documents, JobEndToEnd, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<JobCase>& info) {
                           std::string name = std::to_string(info.index) + "_";
                           for (const char* c = info.param.name; *c; ++c) {
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return name;
                         });

TEST(JobProgress, TextsSeenByTheModelInOrder) {
  ScratchFolder scratch("progress");
  SetProgramDirectory(scratch.path().string());
  sim::SimDocument document = sim::GeneratedDocument("e2eprog", 3);
  for (auto& page : document.pages) page.imageBytes = 1500;
  document.title = Gbk("进度");
  Service().AddDocument(document);
  JobHarness job;
  job.Configure(sim::DocService::ViewAddress("e2eprog"), 1, false, false, true);
  job.Run();

  const std::vector<Text> status = {Gbk("正在提取..."),     Gbk("已提取：33%"),        Gbk("已提取：67%"),
                                    Gbk("已提取：100%"),    Gbk("转换中..."),          Gbk("转换完成"),
                                    Gbk("正在提取图片..."), Gbk("正在提取图片...33%"), Gbk("正在提取图片...67%"),
                                    Gbk("正在提取图片...100%")};
  EXPECT_EQ(job.TextsOf(Control::标签4), status);
  const std::vector<Text> counter = {"",
                                     Gbk("（第1页/共3页）"),
                                     Gbk("（第2页/共3页）"),
                                     Gbk("（第3页/共3页）"),
                                     "",
                                     Gbk("（第1张/共3张）"),
                                     Gbk("（第2张/共3张）"),
                                     Gbk("（第3张/共3张）")};
  EXPECT_EQ(job.TextsOf(Control::标签3), counter);
  EXPECT_EQ(job.TextsOf(Control::按钮1), (std::vector<Text>{Gbk("停止"), Gbk("提取")}));

  const auto folder = scratch.path() / GbkToUtf8(Text(texts::kImageRoot)) / GbkToUtf8(Gbk("进度"));
  for (int n = 1; n <= 3; ++n) {
    std::ifstream in(folder / (std::to_string(n) + ".png"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, sim::MakePng(1500, static_cast<unsigned>(n))) << n;
  }
  EXPECT_EQ(job.Opened(), (std::vector<Text>{FromSystemPath(folder.string())}));
  SetProgramDirectory("");
}

struct ImageCase {
  const char* name;
  const char* title;  // UTF-8
  // Pictures per page: bytes, with Content-Length.
  std::vector<std::pair<std::size_t, bool>> pictures;
  int runs;
  // Expected files under 提取到的图片 as folder -> {file name -> page}; a folder
  // of "*" stands for the date-time folder.
  std::string folder;
  std::vector<std::pair<std::string, int>> files;
};

const ImageCase kImageCases[] = {
    {"kept only over 1000 bytes with a length", "图集", {{1500, true}, {1000, true}, {1500, false}, {1001, true}}, 1,
     "图集", {{"1.png", 1}, {"2.png", 4}}},
    {"a second run continues the numbers", "两次", {{1500, true}, {1200, true}, {1300, true}}, 2, "两次",
     {{"1.png", 1}, {"2.png", 2}, {"3.png", 3}, {"4.png", 1}, {"5.png", 2}, {"6.png", 3}}},
    {"a title with ? takes the date-time folder", "问?号", {{1500, true}}, 1, "*", {{"1.png", 1}}},
    {"a title with / takes the date-time folder", "../逃逸", {{1500, true}}, 1, "*", {{"1.png", 1}}},
    {"a title of dots takes the date-time folder", "..", {{1500, true}}, 1, "*", {{"1.png", 1}}},
    {"an empty title saves into the image root", "", {{1500, true}, {1500, true}}, 1, "",
     {{"1.png", 1}, {"2.png", 2}}},
};

TEST(JobImages, NumberingFoldersAndFilter) {
  int index = 0;
  for (const ImageCase& row : kImageCases) {
    SCOPED_TRACE(row.name);
    ScratchFolder scratch("images" + std::to_string(index));
    SetProgramDirectory(scratch.path().string());
    const std::string id = "e2eimg" + std::to_string(index++);
    sim::SimDocument document = sim::GeneratedDocument(id, static_cast<int>(row.pictures.size()));
    document.title = Gbk(row.title);
    for (std::size_t p = 0; p < row.pictures.size(); ++p) {
      document.pages[p].imageBytes = row.pictures[p].first;
      document.pages[p].imageContentLength = row.pictures[p].second;
    }
    Service().AddDocument(document);
    std::vector<Text> opened;
    for (int run = 0; run < row.runs; ++run) {
      JobHarness job;
      job.Configure(sim::DocService::ViewAddress(id), 5, false, false, true);
      job.Run();
      for (const auto& path : job.Opened()) opened.push_back(path);
    }
    const auto root = scratch.path() / GbkToUtf8(Text(texts::kImageRoot));
    std::filesystem::path folder = row.folder.empty() ? root : root / row.folder;
    if (row.folder == "*") {
      std::vector<std::filesystem::path> folders;
      for (const auto& entry : std::filesystem::directory_iterator(root)) folders.push_back(entry.path());
      ASSERT_EQ(folders.size(), 1u);
      EXPECT_TRUE(std::regex_match(folders[0].filename().string(), std::regex("[0-9]{14}")))
          << folders[0].filename();
      folder = folders[0];
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expectedNames;
    for (const auto& [name, page] : row.files) expectedNames.push_back(name);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(names, expectedNames);
    for (const auto& [name, page] : row.files) {
      std::ifstream in(folder / name, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes, sim::MakePng(row.pictures[static_cast<std::size_t>(page - 1)].first,
                                    static_cast<unsigned>(page)))
          << name;
    }
    // Nothing outside the program's folder: only the image root was made there.
    std::vector<std::string> top;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) top.push_back(entry.path().filename());
    EXPECT_EQ(top, std::vector<std::string>{root.filename().string()});
    EXPECT_EQ(opened.size(), static_cast<std::size_t>(row.runs));
    for (const auto& path : opened) EXPECT_EQ(path, FromSystemPath(folder.string()));
  }
  SetProgramDirectory("");
}

TEST(JobImages, LongTitleStaysInsideTheImageRoot) {
  ScratchFolder scratch("longtitle");
  SetProgramDirectory(scratch.path().string());
  sim::SimDocument document = sim::GeneratedDocument("e2elong", 1);
  document.pages[0].imageBytes = 1500;
  document.title = std::string(5000, 'x');
  Service().AddDocument(document);
  JobHarness job;
  job.Configure(sim::DocService::ViewAddress("e2elong"), 5, false, false, true);
  job.Run();
  const auto root = scratch.path() / GbkToUtf8(Text(texts::kImageRoot));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path())) {
    if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), root).string());
  }
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0], std::regex("[0-9]{14}/1\\.png"))) << files[0];
  SetProgramDirectory("");
}

}  // namespace
}  // namespace tessaly
// clang-format on
