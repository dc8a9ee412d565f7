// Threads as the job and the window use them: start with one integer argument,
// ask whether a thread still runs, and end it.
//
// Linux cannot end a thread safely from outside, so KillThread asks instead:
// it runs the stop request given at StartThread (the job's runs its cooperative
// stop) and returns at once. The thread's owner joins it by dropping its last
// handle or with JoinThread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tessaly {

class ThreadRecord;
// Empty for "no thread". The last handle to a record joins its thread (a record
// released on its own thread detaches instead).
using ThreadHandle = std::shared_ptr<ThreadRecord>;

using ThreadEntry = std::function<void(std::int32_t argument)>;
using StopRequest = std::function<void()>;

inline constexpr int kThreadStateUnreadable = 0;
inline constexpr int kThreadStateEnded = 1;
inline constexpr int kThreadStateRunning = 2;
// The exit code a running thread reads as.
inline constexpr std::uint32_t kStillActive = 259;

// Runs `entry(argument)` on a new thread at once; an empty handle when the
// system refuses a thread. `stopRequest` is what
// KillThread does for this thread; none means KillThread cannot hurry it.
ThreadHandle StartThread(ThreadEntry entry, std::int32_t argument, StopRequest stopRequest = {});

// 0 for an empty handle, 1 when the entry has returned, 2 while it runs.
int ThreadState(const ThreadHandle& handle);

// 259 while running, 0 after the entry returned; 0 for an empty handle.
std::uint32_t ThreadExitCode(const ThreadHandle& handle);

// Asks the thread to end: runs its stop request once, without waiting. No effect
// on an empty handle, an ended thread, or the calling thread itself.
void KillThread(const ThreadHandle& handle);

// Waits until the thread has ended and releases it; no effect on an empty handle
// or when called on the thread itself.
void JoinThread(const ThreadHandle& handle);

}  // namespace tessaly
