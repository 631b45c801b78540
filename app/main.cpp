// tarvo_6: service tool for the controller of a CNG fuel dispenser. Without
// arguments of its own it opens the window; --read and --list-ports run
// without one.
#include <FL/Fl.H>

#include "app/cli/command_line.h"
#include "app/window/program_end.h"
#include "app/startup.h"
#include "app/trace_option.h"
#include "link/wire_trace.h"

int main(int argc, char** argv) {
  const TraceOption trace = TakeTraceOption(&argc, argv);   // before the toolkit reads argv
  if (IsCommandLineRun(argc, argv)) {
    if (!StartTraceOnCommandLine(trace)) return 2;
    const int status = RunCommandLine(argc, argv);
    WireTraceStop();
    return status;
  }
  OpenMainWindow(argc, argv);
  CloseDownOnTermination(CloseDown);
  WatchTerminationSignals();   // also while the trace's alert is up
  StartTraceOption(trace);
  Fl::run();
  CloseDown();
  WireTraceStop();
  return 0;
}
