// Why a port would not open, in words the operator can act on: the window
// shows it under "error", the command line on standard error.
#pragma once

#include "port/port.h"

// The translated reason for a failure of PortOpen.
const char* PortOpenFailureText(PortOpenFailure failure);
