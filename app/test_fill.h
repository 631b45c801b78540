// Test fills: the timer that follows the active nozzle, and the CNG
// diagnostics it refreshes. Load itself is LoadNozzleCallback (procedures.h).
#pragma once
#include <cstddef>
#include <cstdint>

// FLTK timeout handler: shows the active nozzle's volume on its button until
// the nozzle is idle again.
void FillTimer(void* unused);
// Stops following the active nozzle's fill (its port is being closed): the
// timer ends, the button says "Load 10l" again and every nozzle may start a
// fill. The controller's own fill is left as it is.
void EndFollowedFill();
// Reads the diagnostics block and shows mass flow and pressure of the group.
void UpdateDiagnostics();

// "vol. %2d.%02d" and its kin: whole litres and hundredths of amount (ml).
void FormatVolume(char* out, size_t size, const char* format, int32_t amount);
// The diagnostics text of a mass flow and a pressure, both in tenths.
void FormatDiagnostics(char* out, size_t size, int massFlow, int pressure);
