// How the window shows what was read from (or written to) the controller.
#pragma once

#include "app/core/controller_state.h"

class xMainForm;

// What the last Read found (the window's state.controller), as the procedure's outcome decides:
// the connection state, the alert of a Read that stopped, or the nozzle rows,
// the common counter and the password input.
void ShowReadResult(xMainForm& form, ReadOutcome outcome);
// The Common counter input: variant 0 the counter, others counter and date.
void ShowCommonCounter(xMainForm& form);
// Nozzle row i (0-based): the coefficient "* %f" in its input.
void ShowCoefficient(xMainForm& form, int i);
// Nozzle row i: its number field (empty on variant 0, the calibration count on
// variant 1, the short record's number on variant 2).
void ShowNozzleNumber(xMainForm& form, int i);
// What the window shows of the last Read, greyed (inactive: it can be neither
// mistaken for the connected controller's values nor typed over) or live
// again. The texts stay as they are.
void ShowReadValuesStale(xMainForm& form);
void ShowReadValuesCurrent(xMainForm& form);
