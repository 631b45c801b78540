// The procedures drive every link operation the same way: call it, and while
// it answers kTrkPending (still running) sleep and call it again.
#pragma once
#include <chrono>
#include <thread>

#include "link/trk_result.h"

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Repeats step() until it returns something other than kTrkPending,
// sleeping sleepMs between calls (0: call again at once); returns that result.
template <typename Step>
int PollUntilDone(Step step, int sleepMs = 1) {
  for (;;) {
    const int result = step();
    if (result != kTrkPending) return result;
    if (sleepMs > 0) SleepMs(sleepMs);
  }
}
