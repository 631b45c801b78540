// The procedures drive every link operation the same way: call it, and while
// it answers kTrkPending (still running) wait on its line and call it again.
#pragma once
#include <chrono>
#include <cstdint>
#include <thread>

#include "link/trk_result.h"
#include "port/port.h"

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Repeats step() until it returns something other than kTrkPending; returns
// that result. Between calls it sleeps on the port's line for at most waitMs
// (0: calls again at once): a step short of its reply's bytes runs again as
// soon as the next of them arrives, not at the end of a timer tick, and one
// waiting out a time-out or a pause runs again within waitMs.
template <typename Step>
int PollUntilDone(Step step, int port, int waitMs = 1) {
  for (;;) {
    const int result = step();
    if (result != kTrkPending) return result;
    if (waitMs > 0) PortWaitReadable(static_cast<uint16_t>(port), waitMs);
  }
}
