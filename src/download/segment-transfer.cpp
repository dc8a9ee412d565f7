#include "download/segment-transfer.h"

#include <charconv>
#include <chrono>

#include "download/work-file.h"
#include "web/request-object.h"

namespace tessaly {

namespace {

bool ReadOffset(std::string_view& text, char stop, std::int64_t& value) {
  const std::size_t end = stop == '\0' ? text.size() : text.find(stop);
  if (end == std::string_view::npos || end == 0) return false;
  const std::string_view digits = text.substr(0, end);
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) return false;
  text.remove_prefix(stop == '\0' ? end : end + 1);
  return true;
}

// Writes under fileLock, but never while Pause holds the task: a write found
// held lets go of the lock and waits at the gate first.
bool WriteRange(DownloadTaskState& task, std::int64_t offset, const Bytes& body) {
  for (;;) {
    {
      std::lock_guard lock(task.fileLock);
      if (task.stopRequested) return false;
      if (!task.holding) {
        Text path;
        {
          std::lock_guard pathGuard(task.pathLock);
          path = task.filePath;
        }
        if (!body.empty() && !WriteAt(WorkFilePath(path), offset, body)) return false;
        task.bytesDone += static_cast<std::int64_t>(body.size());
        return true;
      }
    }
    if (!WaitWhileHeld(task)) return false;
  }
}

}  // namespace

bool AcceptRangeAnswer(const ByteRange& asked, std::int64_t totalSize, int status,
                       std::string_view contentRange, std::size_t bodyLength) {
  const std::int64_t length = RangeLength(asked, totalSize);
  if (length == 0) {
    // An empty file has no bytes to name in a Content-Range.
    return bodyLength == 0 && (status == 200 || status == 206 || status == 416);
  }
  if (status != 206) return false;
  if (static_cast<std::int64_t>(bodyLength) != length) return false;
  constexpr std::string_view kUnit = "bytes ";
  if (contentRange.substr(0, kUnit.size()) != kUnit) return false;
  std::string_view rest = contentRange.substr(kUnit.size());
  std::int64_t first = 0, last = 0, total = 0;
  if (!ReadOffset(rest, '-', first) || !ReadOffset(rest, '/', last) ||
      !ReadOffset(rest, '\0', total)) {
    return false;
  }
  return first == asked.first && last == asked.first + length - 1 && total == totalSize;
}

void SegmentWorker(DownloadTaskState& task, std::int32_t /*number*/) {
  {
    ScopedCancelToken guard(task.stopToken);
    // One request object per thread keeps its connection alive from range
    // to range.
    HttpRequestObject request;
    while (WaitWhileHeld(task)) {
      const Text range = ClaimNextRange(task);
      if (range.empty()) break;
      FetchRange(task, range, request);
    }
  }
  task.runningSegments.fetch_sub(1);
  { std::lock_guard lock(task.managerLock); }
  task.managerWake.notify_all();
}

Text ClaimNextRange(DownloadTaskState& task) {
  // With nothing left, every thread would otherwise queue for its own 10 ms in
  // the lock before it may end.
  if (task.unclaimedRanges.load() <= 0) return "";
  std::lock_guard lock(task.rangeLock);
  // Threads that queued here while the last range was claimed.
  if (task.unclaimedRanges.load() <= 0) return "";
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  while (task.claimCursor < task.rangeQueue.size() && task.rangeQueue[task.claimCursor].empty()) {
    ++task.claimCursor;
  }
  if (task.claimCursor >= task.rangeQueue.size()) return "";
  Text range = std::move(task.rangeQueue[task.claimCursor]);
  task.rangeQueue[task.claimCursor].clear();
  ++task.claimCursor;
  if (task.unclaimedRanges.fetch_sub(1) == 1) {
    // The manager stops starting threads once the plan is used up.
    std::lock_guard wake(task.managerLock);
    task.managerWake.notify_all();
  }
  return range;
}

void FetchRange(DownloadTaskState& task, const Text& range) {
  HttpRequestObject request;
  FetchRange(task, range, request);
}

void FetchRange(DownloadTaskState& task, const Text& range, HttpRequestObject& request) {
  ByteRange asked;
  if (!ParseRange(range, asked)) {
    task.lostRanges.fetch_add(1);
    return;
  }
  const std::int64_t totalSize = task.totalSize.load();
  for (int attempt = 1; attempt <= kRangeAttempts; ++attempt) {
    if (!WaitWhileHeld(task)) return;
    if (!request.Open("GET", task.address, true)) break;
    request.SetRequestHeader("Accept", Text(kRangeAccept));
    request.SetRequestHeader("Accept-Language", Text(kRangeAcceptLanguage));
    request.SetRequestHeader("Accept-Encoding", Text(kRangeAcceptEncoding));
    request.SetRequestHeader("User-Agent", Text(kRangeUserAgent));
    request.SetRequestHeader("Range", "bytes=" + range);
    request.Send();
    if (!request.WaitForResponse(task.rangeAttemptSeconds)) {
      if (task.stopRequested) return;
      continue;
    }
    const Bytes body = request.ResponseBody();
    if (!AcceptRangeAnswer(asked, totalSize, request.Status(),
                           request.GetResponseHeader("Content-Range"), body.size())) {
      continue;
    }
    if (!WriteRange(task, asked.first, body) && !task.stopRequested) {
      task.lostRanges.fetch_add(1);
    }
    return;
  }
  task.lostRanges.fetch_add(1);
}

}  // namespace tessaly
