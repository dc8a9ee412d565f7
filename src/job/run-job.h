// The job thread: from the typed address to the result, then the final reset.
#pragma once

#include "job/job-state.h"

namespace tessaly {

// The job thread's entry. Installs the job's cancel token on the thread; a stop
// (RequestJobStop / StopJob) makes it end at its next step without any further
// visible change.
void RunJob(JobContext& ctx);

// Creates the job's locks, clears the result box, lays the status and counter
// labels over it, and reads the options and the thread count. False when a stop
// came first (then nothing was changed).
bool PrepareJob(JobContext& ctx);

// Idle look again, locks deleted, workers released. Nothing when a stop has
// begun, which does this itself.
void FinalJobReset(JobContext& ctx);

// The four texts of a slide document's result, appended in this order.
TextList SlideInstructions(const Text& docId);

}  // namespace tessaly
