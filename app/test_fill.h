// Test fills: the timer that follows the active nozzle, and the CNG
// diagnostics it refreshes. Load itself is LoadNozzleCallback (procedures.h).
#pragma once

// FLTK timeout handler: shows the active nozzle's volume on its button until
// the nozzle is idle again.
void FillTimer(void* unused);
// Reads the diagnostics block and shows mass flow and pressure of the group.
void UpdateDiagnostics();
