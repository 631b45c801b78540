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
// Starts the trace; an alert says why when it cannot.
void StartTraceOption(const TraceOption& option);
// The same without a window: says why on standard error; false when the
// trace was asked for and cannot be written.
bool StartTraceOnCommandLine(const TraceOption& option);
