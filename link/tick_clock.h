// The platform side of the tick service: a monotonic millisecond clock and
// the tick thread's pause. One implementation per platform (tick_clock_posix.cpp).
#pragma once
#include <cstdint>

// Milliseconds of a monotonic clock, truncated to 32 bits (wraps every 2^32 ms).
uint32_t TickClockMs();
// Sleeps about one millisecond.
void TickClockPause();
