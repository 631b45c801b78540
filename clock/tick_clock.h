// The platform side of the tick service: a monotonic millisecond clock. One
// implementation per platform (tick_clock_posix.cpp, tick_clock_win32.cpp).
#pragma once
#include <cstdint>

// Milliseconds of a monotonic clock that advances one millisecond at a time,
// truncated to 32 bits (wraps every 2^32 ms). A wait of ms milliseconds then
// lasts more than ms - 1 of them: it is never cut short by a coarse step.
uint32_t TickClockMs();
