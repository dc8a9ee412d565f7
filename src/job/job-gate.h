// How the job thread keeps its changes from landing after a stop: each visible
// change runs under effectMutex and only while no stop has begun, and a stop
// sets its flag under the same mutex.
#pragma once

#include <mutex>
#include <utility>

#include "job/job-state.h"

namespace tessaly {

inline bool JobStopped(const JobState& state) {
  return state.stopRequested.load(std::memory_order_acquire);
}

// Runs `change` unless a stop has begun; false when it did not run.
template <typename Change>
bool UnlessStopped(JobState& state, Change&& change) {
  std::lock_guard lock(state.effectMutex);
  if (JobStopped(state)) return false;
  std::forward<Change>(change)();
  return true;
}

// Begins a stop: sets stopRequested and cancels the job thread's transfers.
// False when there is nothing to stop (the final reset has run, or a stop has
// already begun). Safe from any thread.
bool RequestJobStop(JobState& state);

// Readies the state for a new job thread: clears the stop, the result record
// and the finished mark, and gives the job a fresh cancel token. Only while no
// job thread runs.
void ResetJobRun(JobState& state);

}  // namespace tessaly
