// Turning the page content addresses into the document's text in the result
// box: queue the pages, start the workers, wait, join the page files in order.
#pragma once

#include <chrono>

#include "job/job-state.h"

namespace tessaly {

// After every worker start, the last one included.
inline constexpr std::chrono::milliseconds kWorkerStartPause{100};
inline constexpr std::chrono::milliseconds kPollPause{100};

// On the job thread, for a paged document. The page files live in a folder
// made for this job (owner-only) inside the temporary folder and are removed
// with it afterwards, also when the job is stopped.
void AssemblePageText(JobContext& ctx);

}  // namespace tessaly
