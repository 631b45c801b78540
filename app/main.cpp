// tarvo_6: service tool for the controller of a CNG fuel dispenser. Without
// arguments of its own it opens the window; --read and --list-ports run
// without one.
#include <FL/Fl.H>

#include "app/cli/command_line.h"
#include "app/core/app_state.h"
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
  // What the window and its procedures work with, for the life of the program.
  AppState state;
  OpenMainWindow(state, argc, argv);
  CloseDownOnTermination([&state] { CloseDown(state); });
  WatchTerminationSignals();   // also while the trace's alert is up
  StartTraceOption(trace);
  Fl::run();
  CloseDown(state);
  WireTraceStop();
  return 0;
}
