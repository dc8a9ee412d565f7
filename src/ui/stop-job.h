// Stopping a running job from the window's thread.
#pragma once

#include "job/job-state.h"

namespace tessaly {

// Lets each busy page worker finish its page, shows "正在停止..." over the
// result box and the bar meanwhile (handling the window's pending events),
// resets the window as the job's final reset would and ends the job thread.
// Does nothing when the job has already made its own final reset. The job
// thread may still be on its way out when this returns; it makes no further
// visible change.
void StopJob(JobContext& ctx);

}  // namespace tessaly
