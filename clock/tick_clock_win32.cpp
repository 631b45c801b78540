// The tick service's clock on Windows: the performance counter, which counts
// real milliseconds. The system's tick count (GetTickCount) advances in steps
// of the timer interrupt, 10-16 ms, so a deadline armed just before a step
// would end that much early.
#include "clock/tick_clock.h"

#include <windows.h>

namespace {

// Fixed at boot; asking once is enough.
uint64_t CounterFrequency() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

uint32_t TickClockMs() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
  const uint64_t frequency = CounterFrequency();
  // Whole seconds and the rest apart, so ticks * 1000 cannot overflow.
  const uint64_t ms = ticks / frequency * 1000u + ticks % frequency * 1000u / frequency;
  return static_cast<uint32_t>(ms);
}
