// The commands of the command line, each run to its exit status.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Every port the window would offer, one a line with its kind, in the
// window's order.
int ListPortsCommand();
// Opens port, runs Read for the controller at address as the Read button
// does, prints what it found (aligned text, or one JSON object) and closes
// the port.
int ReadCommand(const char* port, int32_t address, bool json);
// Tries each port named (or, with none named, each port --list-ports lists)
// at address F0, one at a time; prints a line for each that reaches a
// controller, the progress on standard error. Reads only.
int FindCommand(const std::vector<std::string>& ports);
