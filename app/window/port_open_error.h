// The message of a port that would not open: "error", and below it why, in
// words the operator can act on.
#pragma once

#include "app/core/port_open_failure.h"

// Shows "error" with reason (already translated) on the line below.
void ShowPortOpenError(const char* reason);
