// Test fills as the window runs them: the Load buttons, the timer that
// follows the active nozzle on its button, and the CNG diagnostics it
// refreshes. Load itself is LoadNozzleCallback (procedures.h).
#pragma once

#include "app/core/fill_procedure.h"

// FLTK timeout handler: shows the active nozzle's volume on its button until
// the nozzle is idle again.
void FillTimer(void* unused);
// Reads the diagnostics block and shows mass flow and pressure of the group.
void UpdateDiagnostics();
