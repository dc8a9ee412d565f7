#include "analysis/document-probe.h"

#include <algorithm>

#include "analysis/page-list.h"
#include "analysis/service-host.h"
#include "web/cancel-token.h"
#include "web/remote-content-length.h"
#include "web/web-page-request.h"

namespace tessaly {
namespace {

constexpr std::int64_t kMinPictureBytes = 1000;

// "var getTokens = function(){", LF, five tabs, "return '".
constexpr std::string_view kTokensLeft = "var getTokens = function(){\n\t\t\t\t\treturn '";

bool Stopping(const JobContext& ctx) {
  return ctx.state.stopRequested.load(std::memory_order_acquire) || CurrentThreadCancelled();
}

void AppendPictures(JobContext& ctx, std::string_view page) {
  for (const Text& address : ReadPictureList(page)) {
    if (Stopping(ctx)) return;
    if (RemoteContentLength(address) > kMinPictureBytes)
      ctx.state.ImageAddressList.push_back(address);
  }
}

}  // namespace

std::int64_t BatchPageCount(std::int64_t totalPageNum) {
  totalPageNum = std::min(totalPageNum, kMaxTotalPageNum);
  if (totalPageNum <= kPagesPerViewPage) return 0;
  std::int64_t count = totalPageNum / kPagesPerViewPage;
  if (totalPageNum % kPagesPerViewPage == 0) --count;
  return count;
}

Text BatchPageAddress(const Text& docId, std::int64_t pn) {
  return "http://" + ServiceHost() + "/view/" + docId + ".html?from=search&pn=" + IntegerToText(pn);
}

Text CanonicalViewAddress(const Text& docId) {
  return "https://" + ServiceHost() + "/view/" + docId + ".html";
}

void HarvestPageAddresses(JobContext& ctx, const Text& page, const Text& docId,
                          std::int64_t totalPageNum, TextList& pageAddressList) {
  JobState& state = ctx.state;
  pageAddressList = ReadContentList(page);
  if (state.extractImages) {
    state.ImageAddressList.clear();
    AppendPictures(ctx, page);
  }
  const std::int64_t count = BatchPageCount(totalPageNum);
  for (std::int64_t i = 1; i <= count; ++i) {
    if (Stopping(ctx)) return;
    const Text batch = WebPageRequest(BatchPageAddress(docId, kPagesPerViewPage * i + 1));
    for (Text& address : ReadContentList(batch)) pageAddressList.push_back(std::move(address));
    if (state.extractImages) AppendPictures(ctx, batch);
  }
}

ProbeKind DocumentProbe(JobContext& ctx, const Text& documentAddress, TextList& pageAddressList) {
  JobState& state = ctx.state;
  pageAddressList.clear();
  Text page = WebPageRequest(documentAddress);
  state.docId = TextBetween(page, "docId': '", "'");
  if (documentAddress.find("&pn=") != Text::npos)
    page = WebPageRequest(CanonicalViewAddress(state.docId));
  state.title = TextBetween(page, "title': '", "'");
  const Text docType = TextBetween(page, "docType': '", "'");
  const std::int64_t totalPageNum = TextToInteger(TextBetween(page, "totalPageNum': '", "'"));

  if (docType == "doc") {
    HarvestPageAddresses(ctx, page, state.docId, totalPageNum, pageAddressList);
    return ProbeKind::PagedDocument;
  }
  if (docType == "txt") {
    state.textDocumentAddress = ReplaceText(TextBetween(page, kTokensLeft, "'"), "\\/", "/");
    return ProbeKind::TextDocument;
  }
  if (docType == "ppt") return ProbeKind::SlideDocument;
  return ProbeKind::Failed;
}

}  // namespace tessaly
