// The texts Read and Write show for what the controller holds, the same in
// the window and on the command line.
#pragma once
#include <cstddef>

#include "app/core/controller_state.h"

constexpr size_t kControllerTextSize = 64;

// The common counter: variant 0 "%d" of the counter; the others counter and
// date "%d %02d.%02d.%02d".
void CommonCounterText(const ControllerState& c, char (&text)[kControllerTextSize]);
// Nozzle i's coefficient, "* %f" (the short record on variant 2).
void CoefficientText(const ControllerState& c, int i, char (&text)[kControllerTextSize]);
// Nozzle i's coefficient as a number.
double CoefficientOf(const ControllerState& c, int i);
// Nozzle i's number field: empty on variant 0, the calibration count on
// variant 1, the short record's number on variant 2.
void NozzleNumberText(const ControllerState& c, int i, char (&text)[kControllerTextSize]);
// The number behind that field; -1 on variant 0, which shows none.
int NozzleNumberOf(const ControllerState& c, int i);
