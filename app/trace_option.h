// The wire trace asked for on the command line (--trace FILE) or in the
// environment (TARVO6_TRACE=FILE). The option is taken out of argv before the
// toolkit sees the rest of the command line, which it reads as its own.
#pragma once
#include <string>

struct TraceOption {
  bool asked = false;     // --trace was given or TARVO6_TRACE set
  std::string path;       // empty when --trace had no file name
};

// Removes "--trace FILE" (or "--trace=FILE") from argv; the command line wins
// over the environment.
TraceOption TakeTraceOption(int* argc, char** argv);
// Starts the trace; an alert says why when it cannot, and the window goes on
// without it. A trace that stops later (a write failed, or at its size limit
// FILE.1 is not a regular file) is said once on standard error.
void StartTraceOption(const TraceOption& option);
// The same without a window: says why on standard error, and the command goes
// on without the trace; false only when --trace lacks its file name.
bool StartTraceOnCommandLine(const TraceOption& option);
