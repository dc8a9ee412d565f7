// The record of the running extraction job, shared by the job thread, the page
// workers and the window's thread.
//
// One JobState per program, owned by the application object and passed by
// reference; tests make their own. Lists are 0-based here: page k's content
// address is PageAddressList[k - 1], worker slot j's handle workerThreads[j - 1].
//
// Every job procedure takes a JobContext& (the state and the window model it
// drives), e.g. DocumentProbe(ctx, address, ctx.state.PageAddressList),
// DecodePage(ctx, page), DownloadTextDocument(ctx, address).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "analysis/probe-kind.h"
#include "support/text.h"
#include "ui/thread-operations.h"
#include "ui/window-model.h"
#include "web/cancel-token.h"

namespace tessaly {

// What the headless command reports besides the result box.
struct JobResult {
  // Pages whose content could not be read: no answer within the three attempts,
  // an HTTP error status, or content without the item list. A blank page is not
  // a failure. Any order; read after the workers have ended.
  std::vector<std::int32_t> failedPages;
  // Why the plain-text download failed; empty when it did not fail.
  Text downloadFailureReason;
  // Page workers AssemblePageText started for the job.
  std::int32_t workersStarted = 0;
  // What the probe found; Failed until it has answered.
  ProbeKind kind = ProbeKind::Failed;
};

struct JobState {
  // Guarded by *pageLock. -1 marks a cancelled entry.
  std::vector<std::int32_t> PendingPages;
  std::atomic<std::int32_t> ActiveWorkerCount{0};
  // Exist from PrepareJob until the final reset or StopJob.
  std::unique_ptr<std::mutex> pageLock;
  std::unique_ptr<std::mutex> progressLock;

  TextList PageAddressList;
  TextList ImageAddressList;
  Text docId;
  Text title;
  Text textDocumentAddress;

  // Written before any worker starts, read-only while workers run.
  std::int32_t pageCount = 0;
  std::int32_t threadCount = 0;
  bool extractImages = false;
  bool deleteBlankLines = false;
  bool trimLines = false;

  // Guarded by *progressLock while workers run.
  std::int32_t progressPercent = 0;
  std::int32_t pagesDone = 0;

  // The job's private folder for page files (owner-only, made per job inside
  // the temporary folder, ending in "/"); empty until AssemblePageText makes it.
  Text pageFolder;

  // Set once a stop has begun (StopJob or KillThread of the job thread). The job
  // thread then makes no further visible change and starts no further worker.
  std::atomic<bool> stopRequested{false};
  // Installed on the job thread; cancelled by the stop so the job's transfers
  // end at once. A fresh token per job.
  CancelTokenPtr jobCancel;
  // Held by the job thread around each visible change and by a stop while it
  // sets stopRequested, so no change of the job lands after the stop began.
  std::mutex effectMutex;
  // The final reset has run (guarded by effectMutex); a later stop does nothing.
  bool finished = false;

  // Recorded outside the page locks; see NoteFailedPage.
  JobResult result;
  std::mutex resultMutex;

  // Last, so that they are destroyed first: the last handle of a thread joins
  // it, and the job thread must end before the fields it uses go away.
  std::vector<ThreadHandle> workerThreads;
  ThreadHandle jobThread;
};

struct JobContext {
  JobState& state;
  WindowModel& window;
};

// Header-only, like the window model: the page workers' library lies below
// the job library.

// The page file of page k: pageFolder + "文库_" + k + ".txt".
inline Text PageFilePath(const JobState& state, std::int32_t page) {
  return state.pageFolder + "\xCE\xC4\xBF\xE2_" + IntegerToText(page) + ".txt";  // 文库_
}

// Safe from any worker.
inline void NoteFailedPage(JobState& state, std::int32_t page) {
  std::lock_guard lock(state.resultMutex);
  state.result.failedPages.push_back(page);
}

// Sorted ascending, without duplicates.
inline std::vector<std::int32_t> FailedPages(JobState& state) {
  std::lock_guard lock(state.resultMutex);
  std::vector<std::int32_t> pages = state.result.failedPages;
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

}  // namespace tessaly
