#include "job/run-job.h"

#include <algorithm>

#include "analysis/document-probe.h"
#include "analysis/service-host.h"
#include "job/job-gate.h"
#include "job/job-texts.h"
#include "job/page-image-saving.h"
#include "job/page-text-assembly.h"
#include "job/text-document-download.h"

namespace tessaly {

TextList SlideInstructions(const Text& docId) {
  const Text request = "http://" + ServiceHost() + "/browse/getrequest?doc_id=";
  return {Text(texts::kSlideHeading),
          Text(texts::kSlideFormat) + request + docId + Text(texts::kSlideFormatQuery),
          Text(texts::kSlideExample) + request + docId + Text(texts::kSlideExampleQuery),
          Text(texts::kSlideNote)};
}

bool PrepareJob(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& w = ctx.window;
  return UnlessStopped(state, [&] {
    state.pageLock = std::make_unique<std::mutex>();
    state.progressLock = std::make_unique<std::mutex>();
    w.SetText(Control::编辑框1, "");
    w.SetWidth(Control::标签2, 0);
    w.SetText(Control::标签4, Text(texts::kExtracting));
    w.Move(Control::标签4, w.Left(Control::编辑框1), w.Top(Control::编辑框1),
           w.Width(Control::编辑框1), w.Height(Control::编辑框1));
    w.SetText(Control::标签3, "");
    w.Move(Control::标签3, w.Left(Control::编辑框1) + 1,
           w.Top(Control::编辑框1) + w.Height(Control::编辑框1) / 2 + 30,
           w.Width(Control::编辑框1) - 2, w.Height(Control::标签3));
    w.SetVisible(Control::标签4, true);
    w.SetVisible(Control::标签3, true);
    state.deleteBlankLines = w.IsChecked(Control::选择框1);
    state.trimLines = w.IsChecked(Control::选择框2);
    state.extractImages = w.IsChecked(Control::选择框3);
    state.progressPercent = 0;
    state.pageCount = 0;
    state.pagesDone = 0;
    state.ActiveWorkerCount.store(0, std::memory_order_release);
    // An unfilled box would mean no worker at all and a silently empty result.
    state.threadCount = std::clamp(w.SelectedItemValue(Control::组合框1), 1, 20);
    state.workerThreads.assign(static_cast<std::size_t>(state.threadCount), ThreadHandle{});
  });
}

void FinalJobReset(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& w = ctx.window;
  UnlessStopped(state, [&] {
    state.finished = true;
    w.SetText(Control::按钮1, Text(texts::kExtract));
    w.SetWidth(Control::标签2, w.Width(Control::外形框2) - 2);
    w.SetVisible(Control::标签4, false);
    w.SetVisible(Control::标签3, false);
    state.pageLock.reset();
    state.progressLock.reset();
    state.workerThreads.clear();
  });
}

void RunJob(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& w = ctx.window;
  ScopedCancelToken cancelGuard(state.jobCancel);
  if (!PrepareJob(ctx)) return;

  const Text address = w.GetText(Control::编辑框2);
  const ProbeKind kind = DocumentProbe(ctx, address, state.PageAddressList);
  {
    std::lock_guard lock(state.resultMutex);
    state.result.kind = kind;
  }
  if (JobStopped(state)) return;

  switch (kind) {
    case ProbeKind::Failed:
      w.MessageBox(Text(texts::kFailed), Text(texts::kNoticeTitle));
      UnlessStopped(state, [&] { w.SetText(Control::编辑框1, Text(texts::kFailed)); });
      break;
    case ProbeKind::SlideDocument:
      UnlessStopped(state, [&] {
        for (const Text& piece : SlideInstructions(state.docId))
          w.AppendText(Control::编辑框1, piece);
        w.SetSelectionStart(Control::编辑框1, 0);
      });
      break;
    case ProbeKind::TextDocument:
      if (!UnlessStopped(state, [&] { w.SetEnabled(Control::按钮1, false); })) return;
      DownloadTextDocument(ctx, state.textDocumentAddress);
      UnlessStopped(state, [&] { w.SetEnabled(Control::按钮1, true); });
      break;
    case ProbeKind::PagedDocument:
      AssemblePageText(ctx);
      if (!JobStopped(state) && state.extractImages && !state.ImageAddressList.empty()) {
        SavePageImages(ctx);
      }
      break;
  }
  FinalJobReset(ctx);
}

}  // namespace tessaly
