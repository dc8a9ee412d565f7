#include "download/segmented-downloader.h"

#include <chrono>

#include "download/range-plan.h"

namespace tessaly {

namespace {

bool IsUnderWay(DownloadPhase phase) {
  return phase == DownloadPhase::Running || phase == DownloadPhase::Paused ||
         phase == DownloadPhase::Resumed;
}

void WakeEveryone(DownloadTaskState& task) {
  { std::lock_guard lock(task.gateLock); }
  task.gateChanged.notify_all();
  { std::lock_guard lock(task.managerLock); }
  task.managerWake.notify_all();
}

}  // namespace

void StopDownloadThreads(DownloadTaskState& task) {
  std::lock_guard control(task.controlLock);
  if (!task.managerThread.joinable()) return;
  if (task.managerBusy) {
    task.stopRequested = true;
    if (task.stopToken) task.stopToken->Cancel();
    WakeEveryone(task);
  }
  task.managerThread.join();
}

SegmentedDownloader::~SegmentedDownloader() { Abort(); }

void SegmentedDownloader::Configure(const DownloadRequest& request) {
  std::lock_guard control(task_->controlLock);
  if (task_->managerBusy) return;
  task_->address = request.address;
  task_->targetFolder = request.targetFolder;
  {
    std::lock_guard lock(task_->pathLock);
    task_->filePath = request.targetFolder;
  }
  task_->segmentThreadCount = request.threadCount > 0 ? request.threadCount : 1;
  task_->blockSize = static_cast<std::int32_t>(kDefaultBlockSize);
  task_->runningSegments = 0;
  task_->rangeCount = 0;
}

void SegmentedDownloader::Abort() { StopDownloadThreads(*task_); }

void SegmentedDownloader::Start() {
  DownloadTaskState& task = *task_;
  std::lock_guard control(task.controlLock);
  if (task.managerBusy) return;
  if (task.managerThread.joinable()) task.managerThread.join();
  {
    std::lock_guard lock(task.pathLock);
    task.filePath = task.targetFolder;
  }
  if (task.segmentThreadCount < 1) task.segmentThreadCount = 1;
  if (task.blockSize < 1) task.blockSize = static_cast<std::int32_t>(kDefaultBlockSize);
  task.stopRequested = false;
  task.cancelRequested = false;
  task.holding = false;
  task.committing = false;
  task.failure = DownloadFailure::None;
  task.lostRanges = 0;
  task.bytesDone = 0;
  task.stopToken = MakeCancelToken();
  task.phase = DownloadPhase::Running;
  task.managerBusy = true;
  task.managerThread = std::thread([&task] { RunDownload(task); });
}

void SegmentedDownloader::Pause() {
  DownloadTaskState& task = *task_;
  {
    std::lock_guard lock(task.gateLock);
    DownloadPhase phase = task.phase.load();
    if (phase != DownloadPhase::Running && phase != DownloadPhase::Resumed) return;
    task.holding = true;
    if (!task.phase.compare_exchange_strong(phase, DownloadPhase::Paused)) {
      task.holding = false;
      return;
    }
  }
  // A write already past the gate finishes before Pause returns; none starts
  // after it until Resume.
  std::lock_guard barrier(task.fileLock);
}

void SegmentedDownloader::Resume() {
  DownloadTaskState& task = *task_;
  {
    std::lock_guard lock(task.gateLock);
    DownloadPhase phase = DownloadPhase::Paused;
    if (!task.phase.compare_exchange_strong(phase, DownloadPhase::Resumed)) return;
    task.holding = false;
  }
  task.gateChanged.notify_all();
}

void SegmentedDownloader::Cancel() {
  DownloadTaskState& task = *task_;
  {
    std::lock_guard lock(task.gateLock);
    if (!IsUnderWay(task.phase.load()) || task.committing || !task.managerBusy) return;
    task.phase = DownloadPhase::Cancelling;
    task.cancelRequested = true;
    task.holding = false;
  }
  task.gateChanged.notify_all();
  {
    std::lock_guard lock(task.rangeLock);
    for (std::size_t i = task.claimCursor; i < task.rangeQueue.size(); ++i) {
      task.rangeQueue[i].clear();
    }
    task.claimCursor = task.rangeQueue.size();
    task.unclaimedRanges = 0;
  }
  {
    std::unique_lock lock(task.managerLock);
    while (task.runningSegments.load() != 0 || task.managerBusy.load()) {
      task.managerWake.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  task.phase = DownloadPhase::Failed;
}

DownloadStatus SegmentedDownloader::QueryStatus() const {
  const DownloadTaskState& task = *task_;
  DownloadStatus status;
  // The phase first: whatever it says, the fields read after it are at least
  // as new (the path of a Done download is final).
  status.phase = task.phase.load();
  status.failure = task.failure.load();
  status.SetSizes(task.totalSize.load(), task.bytesDone.load());
  std::lock_guard lock(task.pathLock);
  status.filePath = task.filePath;
  return status;
}

}  // namespace tessaly
