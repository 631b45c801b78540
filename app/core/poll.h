// The procedures drive every link operation the same way: call it, and while
// it answers 0 (still running) sleep and call it again.
#pragma once
#include <chrono>
#include <thread>

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Repeats step() until it returns non-zero, sleeping sleepMs between calls
// (0: call again at once); returns that result.
template <typename Step>
int PollUntilDone(Step step, int sleepMs = 1) {
  for (;;) {
    const int result = step();
    if (result != 0) return result;
    if (sleepMs > 0) SleepMs(sleepMs);
  }
}
