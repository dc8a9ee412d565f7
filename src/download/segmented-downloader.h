// A handle on the program's download task. Every object works on the
// DownloadTaskState it was made with, so copies and other objects made with the
// same state see and steer the same download.
//
// Threads are never suspended or killed from outside (Linux has no safe way):
// - Pause holds the segment threads and the manager at their next step: before
//   a claim, before a request, and before an answer is written. A request
//   already on the wire completes; its body is written after Resume. When Pause
//   returns no further byte is written or counted until Resume.
// - Abort (and destruction) stops the threads cooperatively: transfers waiting
//   on the network end at once through the task's cancel token, held threads
//   are released, and Abort returns once every thread has ended. The download
//   then ends in Failed (Aborted); the work file is removed.
#pragma once

#include "download/download-task.h"

namespace tessaly {

class SegmentedDownloader {
 public:
  explicit SegmentedDownloader(DownloadTaskState& task) : task_(&task) {}
  // The same as Abort.
  ~SegmentedDownloader();
  SegmentedDownloader(const SegmentedDownloader& other) = default;
  SegmentedDownloader& operator=(const SegmentedDownloader& other) = default;

  // Ignored while a download is under way. threadCount <= 0 gives one thread.
  void Configure(const DownloadRequest& request);
  // Stops every thread of the task and waits for them; after Done or Failed
  // there is nothing to stop.
  void Abort();
  // Ignored while a download is under way.
  void Start();
  // Only a Running or Resumed download can be paused, only a Paused one resumed.
  void Pause();
  void Resume();
  // Drops the unclaimed ranges, lets the claimed ones finish and waits for the
  // task to end in Failed (Cancelled). Nothing happens when no download runs.
  void Cancel();
  DownloadStatus QueryStatus() const;

 private:
  DownloadTaskState* task_;
};

// The manager thread's procedure.
void RunDownload(DownloadTaskState& task);

// Stops and joins every thread of the task; used by Abort and by the state's
// destructor.
void StopDownloadThreads(DownloadTaskState& task);

}  // namespace tessaly
