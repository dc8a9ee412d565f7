#include "job/job-gate.h"

namespace tessaly {

bool RequestJobStop(JobState& state) {
  CancelTokenPtr token;
  {
    std::lock_guard lock(state.effectMutex);
    if (state.finished || JobStopped(state)) return false;
    state.stopRequested.store(true, std::memory_order_release);
    token = state.jobCancel;
  }
  if (token) token->Cancel();
  return true;
}

void ResetJobRun(JobState& state) {
  std::lock_guard lock(state.effectMutex);
  state.stopRequested.store(false, std::memory_order_release);
  state.finished = false;
  state.jobCancel = MakeCancelToken();
  std::lock_guard resultLock(state.resultMutex);
  state.result = JobResult{};
}

}  // namespace tessaly
