// The commands of the command line, each run to its exit status.
#pragma once
#include <cstdint>

// Every port the window would offer, one a line with its kind, in the
// window's order.
int ListPortsCommand();
// Opens port, runs Read for the controller at address as the Read button
// does, prints what it found (aligned text, or one JSON object) and closes
// the port.
int ReadCommand(const char* port, int32_t address, bool json);
