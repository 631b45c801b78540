// The system timer's resolution while ports are open. At Windows' default a
// 50 ms pause lasts up to 62.5 ms and a 1 ms one up to 15.6 ms; with a port
// open the procedures' timed pauses must keep to the millisecond.
#pragma once

// Called as a port opens: the first open port asks for 1 ms.
void TimerResolutionHold();
// Called as a port closes: the last one gives the default back.
void TimerResolutionRelease();
