// POSIX sleeps already keep to the millisecond: nothing to ask for.
#include "port/timer_resolution.h"

void TimerResolutionHold() {}
void TimerResolutionRelease() {}
