// The message of a port that would not open: "error", and below it why, in
// words the operator can act on.
#pragma once

#include "port/port.h"

// The translated reason for a failure of PortOpen.
const char* PortOpenFailureText(PortOpenFailure failure);
// Shows "error" with reason (already translated) on the line below.
void ShowPortOpenError(const char* reason);
