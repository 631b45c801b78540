// Read: identify the controller at an address, check its main settings and
// read everything Write and the test fills need. The window and the command
// line both run it, and each shows the state it leaves.
#pragma once
#include <cstdint>

#include "app/core/controller_state.h"

class Trk;

// Runs Read over link (its port already open) for the controller at address,
// into state; returns how far it got (also kept in state.outcome).
ReadOutcome ReadControllerState(Trk& link, int32_t address, ControllerState& state);

// Read's first steps alone, as far as the main settings and their check:
// variant, N, G and the group the address serves. It sends nothing but
// reads (no identification probe), so it can ask a port that may reach
// something other than a controller.
ReadOutcome IdentifyController(Trk& link, int32_t address, ControllerState& state);

// The group addresses the main settings give, group 0 first, into
// addresses (room for four); returns how many. Variant 0 lists each of its
// G groups; variants 1 and 2 keep group 1's address in the byte after
// group 0's. A G of 0 still names group 0.
int MainSettingsGroupAddresses(const ControllerState& state, uint8_t* addresses);

// Whether state may be written back over link: its last Read got through, over
// the port the link now uses and over the connection it uses now (a TCP port
// that connected anew may reach another controller), at the address the link
// now selects.
bool ReadIsCurrentFor(const ControllerState& state, const Trk& link);

// The Address input's text as Read takes it: hexadecimal, 1 when it does not
// parse.
int32_t ParseControllerAddress(const char* text);
