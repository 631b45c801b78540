// Whether what the last Read took may be written back: only while the
// controller it came from is the one connected. Replies carry no address, so
// nothing on the line tells one controller from another; what ends the trust
// is what the operator does (a Read that fails, another port, another
// Address), and only a Read that gets through restores it (ReadControllerState
// keeps that in the controller state; this is the window's side).
#pragma once
#include <cstdint>

class xMainForm;

// The Address input as Read takes it: hexadecimal, 1 when it does not parse.
int32_t TypedAddress(xMainForm& form);

// What was read no longer belongs to the connected controller: Write refuses,
// and the window greys the values it shows.
void DistrustRead(xMainForm& form);
// The controller behind the port and the Address may be another one (the port
// was closed or opened, the Address edited): as DistrustRead, and the state
// box no longer says "Connected", and no test-fill volume measured before
// scales a coefficient.
void ForgetConnectedController(xMainForm& form);
// Write's test: the last Read got through, over the port now open, at the
// Address now typed.
bool ReadIsCurrent(xMainForm& form);
