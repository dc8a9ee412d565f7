#include "ui/thread-operations.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tessaly {

class ThreadRecord {
 public:
  explicit ThreadRecord(StopRequest stopRequest) : stopRequest_(std::move(stopRequest)) {}
  ThreadRecord(const ThreadRecord&) = delete;
  ThreadRecord& operator=(const ThreadRecord&) = delete;

  ~ThreadRecord() {
    std::lock_guard lock(joinMutex_);
    if (!thread_.joinable()) return;
    if (id_ == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

  void Launch(ThreadEntry entry, std::int32_t argument) {
    // The thread owns its own flag: a record released on its own thread is gone
    // before the entry has returned.
    // The entry waits for `launch` so that id_ is set before it can ask.
    std::lock_guard lock(shared_->launch);
    thread_ = std::thread([shared = shared_, entry = std::move(entry), argument] {
      { std::lock_guard started(shared->launch); }
      entry(argument);
      shared->ended.store(true, std::memory_order_release);
    });
    id_ = thread_.get_id();
  }

  bool Ended() const { return shared_->ended.load(std::memory_order_acquire); }

  bool IsCurrent() const { return id_ == std::this_thread::get_id(); }

  void RequestStop() {
    StopRequest request;
    {
      std::lock_guard lock(stopMutex_);
      request = std::exchange(stopRequest_, StopRequest{});
    }
    if (request) request();
  }

  void Join() {
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable() && id_ != std::this_thread::get_id()) thread_.join();
  }

 private:
  std::thread thread_;
  std::thread::id id_;
  struct Shared {
    std::atomic<bool> ended{false};
    std::mutex launch;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::mutex stopMutex_;
  StopRequest stopRequest_;
  std::mutex joinMutex_;
};

ThreadHandle StartThread(ThreadEntry entry, std::int32_t argument, StopRequest stopRequest) {
  auto record = std::make_shared<ThreadRecord>(std::move(stopRequest));
  try {
    record->Launch(std::move(entry), argument);
  } catch (const std::system_error&) {
    return {};  // no thread could be made
  }
  return record;
}

int ThreadState(const ThreadHandle& handle) {
  if (!handle) return kThreadStateUnreadable;
  return handle->Ended() ? kThreadStateEnded : kThreadStateRunning;
}

std::uint32_t ThreadExitCode(const ThreadHandle& handle) {
  if (!handle) return 0;
  return handle->Ended() ? 0 : kStillActive;
}

void KillThread(const ThreadHandle& handle) {
  if (!handle || handle->Ended() || handle->IsCurrent()) return;
  handle->RequestStop();
}

void JoinThread(const ThreadHandle& handle) {
  if (handle) handle->Join();
}

}  // namespace tessaly
