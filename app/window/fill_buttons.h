// Test fills as the window runs them: the Load buttons, the timer that
// follows the active nozzle on its button, and the CNG diagnostics it
// refreshes. Load itself is LoadNozzle (procedures.h).
#pragma once

#include "app/core/fill_procedure.h"

class xMainForm;

// FLTK timeout handler (data: the xMainForm): shows the active nozzle's volume
// on its button until the nozzle is idle again.
void FillTimer(void* form);
// Stops following the active nozzle's fill (its port is being closed): the
// timer ends, the button says "Load 10l" again and every nozzle may start a
// fill. The controller's own fill is left as it is.
void EndFollowedFill(xMainForm& form);
// Reads the diagnostics block and shows mass flow and pressure of the group.
void UpdateDiagnostics(xMainForm& form);
