#include "web/cancel-token.h"

#include <utility>

namespace tessaly {

namespace {
thread_local CancelTokenPtr currentToken;
}  // namespace

void CancelToken::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_.store(true, std::memory_order_release);
  for (auto& [id, wake] : wakers_) wake();
}

std::uint64_t CancelToken::AddWaker(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  const std::uint64_t id = nextId_++;
  if (cancelled_.load(std::memory_order_acquire)) wake();
  wakers_.emplace(id, std::move(wake));
  return id;
}

void CancelToken::RemoveWaker(std::uint64_t id) {
  // Holding the lock means no Cancel() is inside the waker any more.
  std::lock_guard lock(mutex_);
  wakers_.erase(id);
}

CancelTokenPtr CurrentCancelToken() { return currentToken; }

bool CurrentThreadCancelled() { return currentToken && currentToken->IsCancelled(); }

ScopedCancelToken::ScopedCancelToken(CancelTokenPtr token) : previous_(std::move(currentToken)) {
  currentToken = std::move(token);
}

ScopedCancelToken::~ScopedCancelToken() { currentToken = std::move(previous_); }

}  // namespace tessaly
