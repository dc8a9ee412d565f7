#include "ui/extract-button.h"

#include <thread>

#include "job/job-gate.h"
#include "job/job-texts.h"
#include "job/page-text-assembly.h"
#include "job/run-job.h"
#include "ui/stop-job.h"

namespace tessaly {

void WaitForJobThread(JobContext& ctx) {
  const ThreadHandle handle = ctx.state.jobThread;
  while (ThreadState(handle) == kThreadStateRunning) {
    ctx.window.ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  JoinThread(handle);
}

void ClickExtractButton(JobContext& ctx) {
  WindowModel& w = ctx.window;
  const Text caption = w.GetText(Control::按钮1);
  if (caption == texts::kExtract) {
    w.SetText(Control::按钮1, Text(texts::kStop));
    // A stopped job's thread may still be on its way out; never two at once.
    WaitForJobThread(ctx);
    ResetJobRun(ctx.state);
    JobState* state = &ctx.state;
    ctx.state.jobThread = StartThread([ctx](std::int32_t) mutable { RunJob(ctx); }, 0,
                                      [state] { RequestJobStop(*state); });
    if (!ctx.state.jobThread) w.SetText(Control::按钮1, Text(texts::kExtract));
  } else if (caption == texts::kStop) {
    w.SetEnabled(Control::按钮1, false);
    StopJob(ctx);
    w.SetEnabled(Control::按钮1, true);
    w.SetText(Control::按钮1, Text(texts::kExtract));
  }
}

void EndJobThreadsForExit(JobContext& ctx) {
  // Workers have no stop request of their own (a page in progress is never cut
  // short); they end with the process.
  KillThread(ctx.state.jobThread);
}

}  // namespace tessaly
