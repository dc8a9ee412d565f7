// The window's handlers that start, stop and end jobs; shared by the Qt window
// and the headless command.
#pragma once

#include "job/job-state.h"

namespace tessaly {

// The click on 按钮1, by its caption: "提取" sets "停止" and starts the job
// thread on RunJob (after the previous job thread has ended); "停止" disables
// the button, runs StopJob, enables it and sets "提取"; anything else nothing.
void ClickExtractButton(JobContext& ctx);

// Waits, handling pending events, until the job thread has ended, then joins
// it. At once when there is none.
void WaitForJobThread(JobContext& ctx);

// The close handler's part before the program ends: asks every worker and the
// job thread to end, without waiting. The caller then ends the process (with
// std::_Exit or quick_exit, never by destroying a JobState whose threads run).
void EndJobThreadsForExit(JobContext& ctx);

}  // namespace tessaly
