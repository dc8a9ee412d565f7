// The page workers: each claims the next pending page and decodes it until no
// page is left.
#pragma once

#include <chrono>
#include <cstdint>

#include "job/job-state.h"

namespace tessaly {

// Held inside pageLock by every claim, so claims follow one another at least
// this far apart.
inline constexpr std::chrono::milliseconds kClaimPause{10};

// The worker's thread entry. Its starter has already added it to
// ActiveWorkerCount (so a wait begun before the thread first runs still covers
// it); the worker takes itself away as its very last use of the job state.
void PageWorker(JobContext& ctx, std::int32_t slot);

// The first entry of PendingPages that is not -1, removed; -1 when there is
// none. Holds pageLock throughout, the pause included.
std::int32_t ClaimNextPage(JobContext& ctx);

}  // namespace tessaly
