// The state of the one download task of a program, and the values its callers
// see. The application owns one DownloadTaskState and hands it to every
// SegmentedDownloader; tests make their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "support/text.h"
#include "web/cancel-token.h"

namespace tessaly {

enum class DownloadPhase : std::int32_t {
  Idle = 0,
  Running = 1,
  Paused = 2,
  Resumed = 3,
  Cancelling = 4,
  Failed = 5,
  Done = 6,
};

// Why a download ended in Failed.
enum class DownloadFailure : std::int32_t {
  None = 0,
  NoRangeSupport,  // the range probe was not answered with 206
  NoSize,          // no 200 with a Content-Length to the size probe
  SizeTimedOut,    // the size probe was not answered within its time
  NoFileName,      // neither Content-Disposition nor the address gave a name
  WorkFile,        // the work file could not be made or given its length
  LostRanges,      // a range was not received intact in three attempts
  MoveFailed,      // the finished work file could not be put in place
  Cancelled,
  Aborted,
};

// A message for the user naming the reason, in GBK; "" for None.
Text DownloadFailureText(DownloadFailure failure);

struct DownloadRequest {
  Text address;
  Text targetFolder;
  std::int32_t threadCount = 0;
};

// A snapshot; the caller owns it.
struct DownloadStatus {
  DownloadPhase phase = DownloadPhase::Idle;
  // The low 32 bits of the sizes, as the window has always read them; use the
  // 64-bit accessors for anything past 2 GiB.
  std::int32_t totalSize = 0;
  std::int32_t bytesDone = 0;
  Text filePath;
  DownloadFailure failure = DownloadFailure::None;

  std::int64_t TotalSize64() const { return totalSize64_; }
  std::int64_t BytesDone64() const { return bytesDone64_; }
  void SetSizes(std::int64_t total, std::int64_t done);
  // bytes done / total size * 100, halves up; 0 while the size is unknown.
  std::int32_t ProgressPercent() const;

 private:
  std::int64_t totalSize64_ = 0;
  std::int64_t bytesDone64_ = 0;
};

struct DownloadTaskState {
  DownloadTaskState() = default;
  DownloadTaskState(const DownloadTaskState&) = delete;
  DownloadTaskState& operator=(const DownloadTaskState&) = delete;
  // Stops a download still under way and waits for its threads.
  ~DownloadTaskState();

  // Written by Configure while no download runs; read-only during one.
  Text address;
  Text targetFolder;
  std::int32_t segmentThreadCount = 0;
  std::int32_t blockSize = 0;

  // The target folder until planning, then the final file's path. Guarded by
  // pathLock because QueryStatus copies it while the manager replaces it.
  Text filePath;
  mutable std::mutex pathLock;

  // Counted by the manager before it starts each segment thread, so its wait
  // can never miss one that has not run yet.
  std::atomic<std::int32_t> runningSegments{0};
  std::int32_t rangeCount = 0;
  std::vector<std::thread> segmentThreads;
  std::thread managerThread;
  // From Start until the manager has written its final phase.
  std::atomic<bool> managerBusy{false};

  std::atomic<DownloadPhase> phase{DownloadPhase::Idle};
  std::atomic<DownloadFailure> failure{DownloadFailure::None};
  std::atomic<std::int64_t> bytesDone{0};
  std::atomic<std::int64_t> totalSize{0};
  std::atomic<std::int64_t> lostRanges{0};
  Text fileName;

  // Guards rangeQueue and claimCursor. Entries only ever become empty, so the
  // first unclaimed entry never lies before the cursor.
  std::mutex rangeLock;
  TextList rangeQueue;
  std::size_t claimCursor = 0;
  // Read without rangeLock by the manager deciding whether to start more threads.
  std::atomic<std::int64_t> unclaimedRanges{0};

  // Guards writes into the work file and changes of bytesDone.
  std::mutex fileLock;

  // Pause holds threads at their next step; Abort and Cancel release them.
  std::mutex gateLock;
  std::condition_variable gateChanged;
  std::atomic<bool> holding{false};
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> stopRequested{false};
  // Set under gateLock once the manager begins to put the finished file in
  // place; a Cancel after that point is too late and changes nothing.
  bool committing = false;
  // Installed on every thread of the download; Abort cancels it, which ends a
  // transfer that waits on the network at once.
  CancelTokenPtr stopToken;

  // Wakes the manager when a segment thread ends.
  std::mutex managerLock;
  std::condition_variable managerWake;

  // Serialises the operations that start, stop and join threads.
  std::mutex controlLock;

  // Time allowed per attempt; fixed by the protocol, shortened only by tests.
  int headProbeSeconds = 5;
  int rangeAttemptSeconds = 10;
};

// Blocks while the task is held by Pause. False when the download is being
// stopped, and the caller should end.
bool WaitWhileHeld(DownloadTaskState& task);

// Path helpers: the work file lies beside the final file.
Text WorkFilePath(const Text& finalPath);
// folder + "/" + name with doubled separators made single.
Text JoinFolderAndName(const Text& folder, const Text& name);

}  // namespace tessaly
