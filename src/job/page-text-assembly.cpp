#include "job/page-text-assembly.h"

#include <thread>

#include "job/job-gate.h"
#include "job/job-texts.h"
#include "pagetext/page-worker.h"
#include "support/file-system.h"

namespace tessaly {

namespace {

void WaitForWorkers(const JobState& state, bool untilStopped) {
  while (state.ActiveWorkerCount.load(std::memory_order_acquire) != 0) {
    if (untilStopped && JobStopped(state)) return;
    std::this_thread::sleep_for(kPollPause);
  }
}

// Only once no worker can write there any more.
void RemovePageFolder(JobState& state) {
  if (state.pageFolder.empty()) return;
  for (std::int32_t k = 1; k <= state.pageCount; ++k) DeleteFile(PageFilePath(state, k));
  RemoveDirectory(state.pageFolder);
  state.pageFolder.clear();
}

}  // namespace

void AssemblePageText(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& window = ctx.window;

  bool queued = UnlessStopped(state, [&] {
    state.pageCount = static_cast<std::int32_t>(state.PageAddressList.size());
    std::lock_guard lock(*state.pageLock);
    state.PendingPages.clear();
    for (std::int32_t k = 1; k <= state.pageCount; ++k) state.PendingPages.push_back(k);
  });
  if (!queued) return;
  if (state.pageCount < state.threadCount) state.threadCount = state.pageCount;

  state.pageFolder.clear();
  if (state.pageCount > 0) {
    state.pageFolder = MakePrivateTempDirectory("tessaly-pages-");
    if (state.pageFolder.empty()) {
      // No safe place for page files: every page counts as unread rather than
      // being written somewhere shared.
      for (std::int32_t k = 1; k <= state.pageCount; ++k) NoteFailedPage(state, k);
      state.threadCount = 0;
    }
  }

  for (std::int32_t j = 1; j <= state.threadCount; ++j) {
    bool started = UnlessStopped(state, [&] {
      // Counted before the thread exists, so the wait below always covers it.
      state.ActiveWorkerCount.fetch_add(1, std::memory_order_acq_rel);
      ThreadHandle handle =
          StartThread([ctx](std::int32_t slot) mutable { PageWorker(ctx, slot); }, j);
      if (!handle) {
        state.ActiveWorkerCount.fetch_sub(1, std::memory_order_acq_rel);
        return;
      }
      state.workerThreads[static_cast<std::size_t>(j - 1)] = std::move(handle);
      std::lock_guard resultLock(state.resultMutex);
      ++state.result.workersStarted;
    });
    if (!started) break;
    std::this_thread::sleep_for(kWorkerStartPause);
  }

  WaitForWorkers(state, true);
  if (JobStopped(state)) {
    // StopJob resets the window; the files of this job are of no use to anyone.
    WaitForWorkers(state, false);
    RemovePageFolder(state);
    return;
  }

  UnlessStopped(state, [&] {
    window.SetText(Control::标签3, "");
    window.SetText(Control::标签4, Text(texts::kConverting));
  });
  for (std::int32_t k = 1; k <= state.pageCount; ++k) {
    bool joined = UnlessStopped(state, [&] {
      Bytes contents;
      if (ReadWholeFile(PageFilePath(state, k), contents))
        window.AppendText(Control::编辑框1, contents);
      DeleteFile(PageFilePath(state, k));
    });
    if (!joined) break;
  }
  UnlessStopped(state, [&] {
    window.SetText(Control::标签4, Text(texts::kConverted));
    window.SetSelectionStart(Control::编辑框1, 0);
  });
  RemovePageFolder(state);
}

}  // namespace tessaly
