#include "ui/thread-operations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tessaly {
namespace {

using namespace std::chrono_literals;

TEST(ThreadOperations, StateOfEmptyRunningAndEndedThreads) {
  EXPECT_EQ(ThreadState(ThreadHandle{}), kThreadStateUnreadable);
  std::atomic<bool> release{false};
  std::atomic<int> argumentSeen{0};
  ThreadHandle handle = StartThread(
      [&](std::int32_t argument) {
        argumentSeen = argument;
        while (!release) std::this_thread::sleep_for(1ms);
      },
      7);
  ASSERT_TRUE(handle);
  EXPECT_EQ(ThreadState(handle), kThreadStateRunning);
  EXPECT_EQ(ThreadExitCode(handle), kStillActive);
  release = true;
  JoinThread(handle);
  EXPECT_EQ(ThreadState(handle), kThreadStateEnded);
  EXPECT_EQ(ThreadExitCode(handle), 0u);
  EXPECT_EQ(argumentSeen.load(), 7);
}

TEST(ThreadOperations, KillRunsTheStopRequestOnceAndOnlyWhileRunning) {
  std::atomic<bool> stop{false};
  std::atomic<int> requests{0};
  ThreadHandle handle = StartThread(
      [&](std::int32_t) {
        while (!stop) std::this_thread::sleep_for(1ms);
      },
      0,
      [&] {
        ++requests;
        stop = true;
      });
  KillThread(handle);
  KillThread(handle);
  JoinThread(handle);
  EXPECT_EQ(requests.load(), 1);
  EXPECT_EQ(ThreadState(handle), kThreadStateEnded);

  int late = 0;
  ThreadHandle ended = StartThread([](std::int32_t) {}, 0, [&] { ++late; });
  JoinThread(ended);
  KillThread(ended);
  KillThread(ThreadHandle{});
  EXPECT_EQ(late, 0);
}

TEST(ThreadOperations, KillOnItselfDoesNothingAndLastHandleOnItselfDetaches) {
  std::atomic<int> requests{0};
  auto slot = std::make_shared<ThreadHandle>();
  std::atomic<bool> handleStored{false};
  std::atomic<bool> done{false};
  *slot = StartThread(
      [&, slot](std::int32_t) {
        while (!handleStored) std::this_thread::sleep_for(1ms);
        KillThread(*slot);
        JoinThread(*slot);  // on itself: must not deadlock
        slot->reset();      // the last handle released on its own thread
        done = true;
      },
      0, [&] { ++requests; });
  handleStored = true;
  for (int i = 0; i < 2000 && !done; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(done.load());
  EXPECT_EQ(requests.load(), 0);
}

}  // namespace
}  // namespace tessaly
