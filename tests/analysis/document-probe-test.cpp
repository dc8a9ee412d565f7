#include "analysis/document-probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/service-host.h"
#include "doc-service.h"
#include "support/codepage.h"
#include "web/cancel-token.h"
#include "web/web-settings.h"

namespace tessaly {
namespace {

using sim::DocService;
using sim::SimDocument;

DocService& Service() {
  static DocService service;
  static const bool started = service.Start();
  if (!started) ADD_FAILURE() << "document service did not start";
  return service;
}

// "https /view/x.html?q" for every view-page request, in arrival order.
std::vector<std::string> ViewRequests() {
  std::vector<std::string> seen;
  for (const auto& request : Service().Requests()) {
    if (request.Path().rfind("/view/", 0) == 0)
      seen.push_back((request.tls ? "https " : "http ") + request.target);
  }
  return seen;
}

std::size_t RequestsUnder(const std::string& prefix) {
  std::size_t count = 0;
  for (const auto& request : Service().Requests()) count += request.Path().rfind(prefix, 0) == 0;
  return count;
}

SimDocument Paged(const std::string& id, int pages) { return sim::GeneratedDocument(id, pages); }

SimDocument With(SimDocument document, const std::function<void(SimDocument&)>& change) {
  change(document);
  return document;
}

struct ProbeCase {
  const char* name;
  SimDocument document;
  std::string address;  // typed; "" for the document's https view address
  ProbeKind kind;
  std::size_t pages;  // entries of PageAddressList
  std::vector<std::string> viewRequests;
};

// A fresh job and window per case, with the simulator's settings in force.
template <typename Case>
class SimulatorProbeTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    Service().ExportEnvironment();
    ReloadWebSettingsForTesting();
    Service().ClearRequests();
  }
  JobState state;
  WindowModel window;
  JobContext ctx{state, window};
};

class DocumentProbeTest : public SimulatorProbeTest<ProbeCase> {};

TEST_P(DocumentProbeTest, KindListsAndRequests) {
  const ProbeCase& c = GetParam();
  Service().AddDocument(c.document);
  const std::string address =
      c.address.empty() ? DocService::ViewAddress(c.document.id) : c.address;
  state.PageAddressList = {"left from an earlier job"};
  const ProbeKind kind = DocumentProbe(ctx, address, state.PageAddressList);
  EXPECT_EQ(kind, c.kind);
  EXPECT_EQ(state.docId, c.document.id);
  EXPECT_EQ(state.title, c.document.title);
  ASSERT_EQ(state.PageAddressList.size(), c.pages);
  for (std::size_t i = 0; i < c.pages; ++i) {
    ASSERT_EQ(state.PageAddressList[i],
              DocService::ContentAddress(c.document, static_cast<int>(i) + 1))
        << i;
  }
  EXPECT_EQ(ViewRequests(), c.viewRequests);
  EXPECT_EQ(RequestsUnder("/sim/"), 0u)
      << "the probe fetches no content and, without images, no picture";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentProbeTest,
    ::testing::Values(
        ProbeCase{"Paged120",
                  Paged("p120", 120),
                  "",
                  ProbeKind::PagedDocument,
                  120,
                  {"https /view/p120.html", "http /view/p120.html?from=search&pn=51",
                   "http /view/p120.html?from=search&pn=101"}},
        // The later batch typed by the user costs the canonical page over https.
        ProbeCase{"TypedBatchAddress",
                  Paged("p120b", 120),
                  "https://wenku.baidu.com/view/p120b.html?from=search&pn=51",
                  ProbeKind::PagedDocument,
                  120,
                  {"https /view/p120b.html?from=search&pn=51", "https /view/p120b.html",
                   "http /view/p120b.html?from=search&pn=51",
                   "http /view/p120b.html?from=search&pn=101"}},
        ProbeCase{
            "TypedBatchKeyInCapitals",
            Paged("p120c", 120),
            "https://wenku.baidu.com/view/p120c.html?from=search&PN=51",
            ProbeKind::PagedDocument,
            120,
            {"https /view/p120c.html?from=search&PN=51", "http /view/p120c.html?from=search&pn=51",
             "http /view/p120c.html?from=search&pn=101"}},
        ProbeCase{"AddressWithoutScheme",
                  Paged("p3", 3),
                  "wenku.baidu.com/view/p3.html",
                  ProbeKind::PagedDocument,
                  3,
                  {"http /view/p3.html"}},
        ProbeCase{"Exactly50",
                  Paged("p50", 50),
                  "",
                  ProbeKind::PagedDocument,
                  50,
                  {"https /view/p50.html"}},
        ProbeCase{"Exactly100",
                  Paged("p100", 100),
                  "",
                  ProbeKind::PagedDocument,
                  100,
                  {"https /view/p100.html", "http /view/p100.html?from=search&pn=51"}},
        ProbeCase{"TypeInCapitals",
                  With(Paged("pDOC", 3), [](SimDocument& d) { d.docType = "DOC"; }),
                  "",
                  ProbeKind::Failed,
                  0,
                  {"https /view/pDOC.html"}},
        ProbeCase{"SlideDocument",
                  With(Paged("s1", 60), [](SimDocument& d) { d.docType = "ppt"; }),
                  "",
                  ProbeKind::SlideDocument,
                  0,
                  {"https /view/s1.html"}},
        ProbeCase{"NegativePageCount",
                  With(Paged("n5", 3), [](SimDocument& d) { d.totalPageNum = "-5"; }),
                  "",
                  ProbeKind::PagedDocument,
                  3,
                  {"https /view/n5.html"}},
        ProbeCase{"PageCountNotANumber",
                  With(Paged("abc", 3), [](SimDocument& d) { d.totalPageNum = "abc"; }),
                  "",
                  ProbeKind::PagedDocument,
                  3,
                  {"https /view/abc.html"}},
        ProbeCase{"EmptyLists",
                  With(Paged("e0", 3), [](SimDocument& d) { d.emptyLists = true; }),
                  "",
                  ProbeKind::PagedDocument,
                  0,
                  {"https /view/e0.html"}},
        ProbeCase{"ViewPageOf20MiB",
                  With(Paged("big", 4), [](SimDocument& d) { d.viewPadding = 20u << 20; }),
                  "",
                  ProbeKind::PagedDocument,
                  4,
                  {"https /view/big.html"}},
        ProbeCase{"TitleOf5000Bytes",
                  With(Paged("t5k", 2),
                       [](SimDocument& d) {
                         d.title.clear();
                         for (int i = 0; i < 2500; ++i) d.title += "\xD6\xD0";  // 中
                       }),
                  "",
                  ProbeKind::PagedDocument,
                  2,
                  {"https /view/t5k.html"}}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  sim::Fault fault;
};

class ViewFaultTest : public SimulatorProbeTest<FailureCase> {};

TEST_P(ViewFaultTest, FailedAndEmpty) {
  SimDocument document = Paged(std::string("f") + GetParam().name, 3);
  document.viewFault = GetParam().fault;
  Service().AddDocument(document);
  state.docId = "old id";
  state.title = "old title";
  EXPECT_EQ(DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList),
            ProbeKind::Failed);
  EXPECT_EQ(state.docId, "");
  EXPECT_EQ(state.title, "");
  EXPECT_TRUE(state.PageAddressList.empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, ViewFaultTest,
                         ::testing::Values(FailureCase{"NotFound", sim::Fault::kNotFound},
                                           FailureCase{"Close", sim::Fault::kClose},
                                           FailureCase{"EmptyBody", sim::Fault::kEmptyBody}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           return std::string(info.param.name);
                         });

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Service().ExportEnvironment();
    ReloadWebSettingsForTesting();
    Service().ClearRequests();
  }
  JobState state;
  WindowModel window;
  JobContext ctx{state, window};
};

TEST_F(ProbeTest, UnreachableHostFails) {
  state.docId = "old";
  // Port 1 on loopback: nothing listens there.
  EXPECT_EQ(DocumentProbe(ctx, "http://127.0.0.1:1/view/x.html", state.PageAddressList),
            ProbeKind::Failed);
  EXPECT_EQ(state.docId, "");
  EXPECT_EQ(Service().Requests().size(), 0u);
}

TEST_F(ProbeTest, HugePageCountIsBounded) {
  SimDocument document = Paged("huge", 3);
  document.totalPageNum = "1000000000000";
  Service().AddDocument(document);
  EXPECT_EQ(DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList),
            ProbeKind::PagedDocument);
  EXPECT_EQ(state.PageAddressList.size(), 3u);
  const auto views = ViewRequests();
  ASSERT_EQ(views.size(), static_cast<std::size_t>(BatchPageCount(kMaxTotalPageNum)) + 1);
  EXPECT_EQ(views.back(),
            "http /view/huge.html?from=search&pn=" + std::to_string(kMaxTotalPageNum - 49));
}

TEST_F(ProbeTest, TextDocumentAddressUnescaped) {
  SimDocument document;
  document.id = "txt1";
  document.title = Utf8ToGbk("报告");
  document.docType = "txt";
  document.textDocumentAddress = "http://127.0.0.1:9/files/a\\b/x.txt";
  Service().AddDocument(document);
  state.PageAddressList = {"stale"};
  EXPECT_EQ(DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList),
            ProbeKind::TextDocument);
  EXPECT_EQ(state.textDocumentAddress, "http://127.0.0.1:9/files/a\\b/x.txt");
  EXPECT_EQ(state.title, document.title);
  EXPECT_TRUE(state.PageAddressList.empty());
}

TEST_F(ProbeTest, TextAddressKeptUnlessTextDocument) {
  state.textDocumentAddress = "kept";
  Service().AddDocument(Paged("keep", 1));
  DocumentProbe(ctx, DocService::ViewAddress("keep"), state.PageAddressList);
  EXPECT_EQ(state.textDocumentAddress, "kept");
}

TEST_F(ProbeTest, PicturesOverThresholdWithLengthOnly) {
  SimDocument document = Paged("img", 5);
  const std::vector<std::size_t> sizes = {1000, 1001, 1500, 0, 4000};
  for (std::size_t i = 0; i < sizes.size(); ++i) document.pages[i].imageBytes = sizes[i];
  document.pages[2].imageContentLength = false;
  Service().AddDocument(document);
  state.extractImages = true;
  state.ImageAddressList = {"old"};
  EXPECT_EQ(DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList),
            ProbeKind::PagedDocument);
  EXPECT_EQ(state.ImageAddressList, (TextList{DocService::ImageAddress(document, 2),
                                              DocService::ImageAddress(document, 5)}));
  EXPECT_EQ(RequestsUnder("/sim/image/"), 4u) << "one size request per listed picture";
}

TEST_F(ProbeTest, PicturesOfBatchPagesAppended) {
  SimDocument document = Paged("img60", 60);
  for (auto& page : document.pages) page.imageBytes = 0;
  document.pages[9].imageBytes = 2000;
  document.pages[54].imageBytes = 2000;
  Service().AddDocument(document);
  state.extractImages = true;
  DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList);
  EXPECT_EQ(state.ImageAddressList, (TextList{DocService::ImageAddress(document, 10),
                                              DocService::ImageAddress(document, 55)}));
}

TEST_F(ProbeTest, WithoutImagesThePictureListIsLeftAlone) {
  Service().AddDocument(Paged("noimg", 3));
  state.ImageAddressList = {"old"};
  DocumentProbe(ctx, DocService::ViewAddress("noimg"), state.PageAddressList);
  EXPECT_EQ(state.ImageAddressList, (TextList{"old"}));
  EXPECT_EQ(RequestsUnder("/sim/image/"), 0u);
}

TEST_F(ProbeTest, StalledViewPageEndsOnCancel) {
  SimDocument document = Paged("stall", 3);
  document.viewFault = sim::Fault::kStall;
  Service().AddDocument(document);
  auto token = MakeCancelToken();
  ScopedCancelToken installed(token);
  std::thread stopper([token] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    token->Cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  const ProbeKind kind =
      DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stopper.join();
  EXPECT_EQ(kind, ProbeKind::Failed);
  EXPECT_LT(seconds, 2.0);
}

TEST_F(ProbeTest, StopEndsBatchFetching) {
  SimDocument document = Paged("stop", 500);
  document.latency = std::chrono::milliseconds(100);
  Service().AddDocument(document);
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    state.stopRequested = true;
  });
  DocumentProbe(ctx, DocService::ViewAddress(document.id), state.PageAddressList);
  stopper.join();
  EXPECT_LT(ViewRequests().size(), 6u) << "a 500-page document has 10 view pages";
}

struct BatchCase {
  std::int64_t total;
  std::int64_t count;
};

class BatchCountTest : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchCountTest, Count) { EXPECT_EQ(BatchPageCount(GetParam().total), GetParam().count); }

INSTANTIATE_TEST_SUITE_P(Totals, BatchCountTest,
                         ::testing::Values(BatchCase{-5, 0}, BatchCase{0, 0}, BatchCase{50, 0},
                                           BatchCase{51, 1}, BatchCase{100, 1}, BatchCase{101, 2},
                                           BatchCase{150, 2}, BatchCase{151, 3},
                                           BatchCase{1000000000000, 199}));

TEST(ProbeAddresses, BatchAndCanonical) {
  EXPECT_EQ(BatchPageAddress("ab", 101),
            "http://" + ServiceHost() + "/view/ab.html?from=search&pn=101");
  EXPECT_EQ(CanonicalViewAddress("ab"), "https://" + ServiceHost() + "/view/ab.html");
}

}  // namespace
}  // namespace tessaly
