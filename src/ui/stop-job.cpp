#include "ui/stop-job.h"

#include <thread>

#include "job/job-gate.h"
#include "job/job-texts.h"
#include "job/page-text-assembly.h"

namespace tessaly {

void StopJob(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& window = ctx.window;
  // From here on the job thread changes nothing visible and starts no worker,
  // so the reset below is the only one.
  if (!RequestJobStop(state)) return;

  window.Move(Control::标签6, window.Left(Control::编辑框1), window.Top(Control::编辑框1),
              window.Width(Control::编辑框1),
              window.Height(Control::编辑框1) + window.Height(Control::外形框2));
  window.SetText(Control::标签6, Text(texts::kStopping));
  window.SetVisible(Control::标签6, true);

  if (state.pageLock) {
    std::lock_guard lock(*state.pageLock);
    for (auto& page : state.PendingPages) page = -1;
  }

  while (state.ActiveWorkerCount.load(std::memory_order_acquire) != 0) {
    window.ProcessPendingEvents();
    std::this_thread::sleep_for(kPollPause);
  }

  window.SetText(Control::按钮1, Text(texts::kExtract));
  window.SetWidth(Control::标签2, window.Width(Control::外形框2) - 2);
  window.SetVisible(Control::标签4, false);
  window.SetVisible(Control::标签3, false);
  window.SetVisible(Control::标签6, false);
  state.pageLock.reset();
  state.progressLock.reset();
  state.workerThreads.clear();
  KillThread(state.jobThread);
}

}  // namespace tessaly
