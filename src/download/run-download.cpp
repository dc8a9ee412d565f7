#include <chrono>

#include "download/download-probes.h"
#include "download/range-plan.h"
#include "download/segment-transfer.h"
#include "download/segmented-downloader.h"
#include "download/work-file.h"
#include "support/file-system.h"

namespace tessaly {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);

// The reason a stop or a cancel gives, which outranks whatever failed after it.
DownloadFailure InterruptReason(const DownloadTaskState& task, DownloadFailure otherwise) {
  if (task.stopRequested) return DownloadFailure::Aborted;
  if (task.cancelRequested) return DownloadFailure::Cancelled;
  return otherwise;
}

void Finish(DownloadTaskState& task, DownloadFailure failure) {
  task.failure = failure;
  task.phase = failure == DownloadFailure::None ? DownloadPhase::Done : DownloadPhase::Failed;
  {
    std::lock_guard lock(task.managerLock);
    task.managerBusy = false;
  }
  task.managerWake.notify_all();
}

void StartSegmentThreads(DownloadTaskState& task) {
  for (std::int32_t i = 1; i <= task.segmentThreadCount; ++i) {
    if (!WaitWhileHeld(task)) return;
    // Threads started once every range is claimed would find nothing to do.
    if (i > 1 && task.unclaimedRanges.load() == 0) return;
    task.runningSegments.fetch_add(1);
    task.segmentThreads.emplace_back([&task, i] { SegmentWorker(task, i); });
    std::unique_lock lock(task.managerLock);
    task.managerWake.wait_for(
        lock, kPoll, [&] { return task.stopRequested.load() || task.unclaimedRanges.load() == 0; });
  }
}

void WaitForSegmentThreads(DownloadTaskState& task) {
  {
    std::unique_lock lock(task.managerLock);
    while (task.runningSegments.load() != 0) task.managerWake.wait_for(lock, kPoll);
  }
  for (std::thread& thread : task.segmentThreads) thread.join();
  task.segmentThreads.clear();
}

}  // namespace

void RunDownload(DownloadTaskState& task) {
  ScopedCancelToken guard(task.stopToken);
  const Text address = task.address;

  if (!WaitWhileHeld(task)) return Finish(task, DownloadFailure::Aborted);
  if (!ProbeRangeSupport(address)) {
    return Finish(task, InterruptReason(task, DownloadFailure::NoRangeSupport));
  }
  if (!WaitWhileHeld(task)) return Finish(task, DownloadFailure::Aborted);
  if (!ProbeSizeAndName(task, address)) {
    DownloadFailure reason = DownloadFailure::NoFileName;
    if (task.totalSize == -2) reason = DownloadFailure::SizeTimedOut;
    if (task.totalSize == -1) reason = DownloadFailure::NoSize;
    return Finish(task, InterruptReason(task, reason));
  }
  if (!WaitWhileHeld(task) || task.cancelRequested) {
    return Finish(task, InterruptReason(task, DownloadFailure::None));
  }

  const Text finalPath = JoinFolderAndName(task.targetFolder, task.fileName);
  const Text workPath = WorkFilePath(finalPath);
  {
    std::lock_guard lock(task.pathLock);
    task.filePath = finalPath;
  }
  // An older file at the final path stays until the new one is complete and
  // replaces it, so a failed download loses nothing.
  DeleteFile(workPath);
  if (PreallocateFile(workPath, task.totalSize) != 1) {
    return Finish(task, InterruptReason(task, DownloadFailure::WorkFile));
  }

  {
    std::lock_guard lock(task.rangeLock);
    task.rangeQueue = BuildRangePlan(task.totalSize, task.blockSize);
    task.claimCursor = 0;
    // A Cancel that came before the plan finds nothing to empty: honour it here.
    if (task.cancelRequested) {
      for (Text& range : task.rangeQueue) range.clear();
      task.claimCursor = task.rangeQueue.size();
    }
    task.unclaimedRanges = static_cast<std::int64_t>(task.rangeQueue.size() - task.claimCursor);
  }
  task.rangeCount = static_cast<std::int32_t>(task.rangeQueue.size());
  if (task.segmentThreadCount > task.rangeCount) task.segmentThreadCount = task.rangeCount;

  StartSegmentThreads(task);
  WaitForSegmentThreads(task);

  WaitWhileHeld(task);
  {
    std::lock_guard lock(task.gateLock);
    if (!task.stopRequested && !task.cancelRequested) task.committing = true;
  }
  DownloadFailure failure = InterruptReason(task, DownloadFailure::None);
  if (failure == DownloadFailure::None &&
      (task.lostRanges != 0 || task.bytesDone != task.totalSize)) {
    failure = DownloadFailure::LostRanges;
  }
  if (failure == DownloadFailure::None && !MoveWorkFile(workPath, finalPath)) {
    failure = DownloadFailure::MoveFailed;
  }
  if (failure != DownloadFailure::None) DeleteFile(workPath);
  Finish(task, failure);
}

}  // namespace tessaly
