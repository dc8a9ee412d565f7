#include "pagetext/page-worker.h"

#include <algorithm>
#include <thread>

#include "pagetext/page-decode.h"

namespace tessaly {

void PageWorker(JobContext& ctx, std::int32_t /*slot*/) {
  for (;;) {
    std::int32_t page = ClaimNextPage(ctx);
    if (page == -1) break;
    DecodePage(ctx, page);
  }
  // Ending by returning: the thread's owner joins it once the count is 0.
  ctx.state.ActiveWorkerCount.fetch_sub(1, std::memory_order_acq_rel);
}

std::int32_t ClaimNextPage(JobContext& ctx) {
  JobState& state = ctx.state;
  if (!state.pageLock) return -1;
  std::lock_guard lock(*state.pageLock);
  std::this_thread::sleep_for(kClaimPause);
  auto& pending = state.PendingPages;
  auto it = std::find_if(pending.begin(), pending.end(), [](std::int32_t p) { return p != -1; });
  if (it == pending.end()) return -1;
  std::int32_t page = *it;
  pending.erase(it);
  return page;
}

}  // namespace tessaly
