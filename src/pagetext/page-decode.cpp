#include "pagetext/page-decode.h"

#include <algorithm>
#include <mutex>

#include "pagetext/page-layout.h"
#include "support/file-system.h"
#include "web/request-object.h"

namespace tessaly {
namespace {

constexpr std::string_view kDoneCaption = "\xD2\xD1\xCC\xE1\xC8\xA1\xA3\xBA";  // 已提取：
constexpr std::string_view kCounterStart = "\xA3\xA8\xB5\xDA";                 // （第
constexpr std::string_view kCounterMiddle = "\xD2\xB3/\xB9\xB2";               // 页/共
constexpr std::string_view kCounterEnd = "\xD2\xB3\xA3\xA9";                   // 页）

bool HasItemList(std::string_view content) {
  const std::size_t left = FindText(content, "\"body\":[", 1, true);
  return left != 0 && FindText(content, "],\"page\"", left + 8, true) != 0;
}

}  // namespace

PageFetch FetchPageContent(const Text& address, const PageFetchPolicy& policy) {
  PageFetch fetch;
  HttpRequestObject request;
  for (int attempt = 0; attempt < policy.attempts && !fetch.answered; ++attempt) {
    // A refused address never completes; each attempt then fails at once.
    if (!request.Open("GET", address, true)) continue;
    request.Send();
    fetch.answered = request.WaitForResponse(policy.attemptSeconds);
  }
  fetch.body = request.ResponseBody();
  fetch.body.resize(std::min(fetch.body.size(), fetch.body.find('\0')));
  fetch.status = request.Status();
  return fetch;
}

void AdvancePageProgress(JobContext& ctx) {
  JobState& state = ctx.state;
  static std::mutex noLock;  // only when the job's lock is already gone
  std::lock_guard lock(state.progressLock ? *state.progressLock : noLock);
  const std::int32_t done = state.pagesDone + 1;
  const std::int32_t count = state.pageCount;
  const double percent = count > 0 ? static_cast<double>(done) / count * 100.0 : 100.0;
  state.progressPercent = static_cast<std::int32_t>(RoundHalfUp(percent));
  ctx.window.SetText(Control::标签4,
                     Text(kDoneCaption) + IntegerToText(state.progressPercent) + "%");
  ctx.window.SetText(Control::标签3, Text(kCounterStart) + IntegerToText(done) +
                                         Text(kCounterMiddle) + IntegerToText(count) +
                                         Text(kCounterEnd));
  ctx.window.SetWidth(Control::标签2,
                      ProgressFillWidth(state.progressPercent, ctx.window.Width(Control::外形框2)));
  state.pagesDone = done;
}

PageOutcome DecodePage(JobContext& ctx, std::int32_t page, const PageFetchPolicy& policy) {
  JobState& state = ctx.state;
  const bool known = page >= 1 && static_cast<std::size_t>(page) <= state.PageAddressList.size();
  const PageFetch fetch =
      known ? FetchPageContent(state.PageAddressList[page - 1], policy) : PageFetch{};

  const Text file =
      PageFileText(LayoutPageItems(fetch.body), {state.deleteBlankLines, state.trimLines});
  PageOutcome outcome = file.empty() ? PageOutcome::kBlank : PageOutcome::kText;
  if (!fetch.answered) {
    outcome = PageOutcome::kNoAnswer;
  } else if (fetch.status < 200 || fetch.status > 299) {
    outcome = PageOutcome::kHttpError;
  } else if (!HasItemList(fetch.body)) {
    outcome = PageOutcome::kNoItemList;
  }
  if (outcome != PageOutcome::kText && outcome != PageOutcome::kBlank) NoteFailedPage(state, page);

  // The folder is the job's private one, so the fixed name cannot be a planted link.
  if (!state.pageFolder.empty()) WriteWholeFile(PageFilePath(state, page), file);
  AdvancePageProgress(ctx);
  return outcome;
}

}  // namespace tessaly
