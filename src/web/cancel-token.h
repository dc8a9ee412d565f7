// Cancelling network transfers from another thread.
//
// The request operations keep their plain argument lists, so a thread installs
// a token for itself with ScopedCancelToken; every transfer made on that thread
// honours it. Cancel() wakes a transfer that is waiting on the network at once
// (well under 200 ms), and a cancelled token stays cancelled: later transfers on
// that thread return their empty result without touching the network.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace tessaly {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Safe from any thread, any number of times.
  void Cancel();
  bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // For transfers: `wake` runs on the cancelling thread (or at once when the token
  // is already cancelled). After RemoveWaker returns, `wake` is not running and
  // will not run again, so it may refer to objects destroyed right afterwards.
  std::uint64_t AddWaker(std::function<void()> wake);
  void RemoveWaker(std::uint64_t id);

 private:
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, std::function<void()>> wakers_;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline CancelTokenPtr MakeCancelToken() { return std::make_shared<CancelToken>(); }

// The token installed on the calling thread, or null.
CancelTokenPtr CurrentCancelToken();

// True when the calling thread's token has been cancelled.
bool CurrentThreadCancelled();

// Installs `token` as the calling thread's token for the guard's lifetime and
// restores the previous one afterwards. Guards nest.
class ScopedCancelToken {
 public:
  explicit ScopedCancelToken(CancelTokenPtr token);
  ~ScopedCancelToken();
  ScopedCancelToken(const ScopedCancelToken&) = delete;
  ScopedCancelToken& operator=(const ScopedCancelToken&) = delete;

 private:
  CancelTokenPtr previous_;
};

}  // namespace tessaly
