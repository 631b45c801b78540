// The tick service's clock on Windows: the system's millisecond tick count,
// which wraps every 2^32 ms like tickNow itself, and a one-millisecond Sleep
// (the effective step is the system timer's resolution).
#include "link/tick_clock.h"

#include <windows.h>

uint32_t TickClockMs() { return GetTickCount(); }

void TickClockPause() { Sleep(1); }
