// tarvo_6: service tool for the controller of a CNG fuel dispenser.
#include <FL/Fl.H>

#include "app/program_end.h"
#include "app/startup.h"
#include "app/trace_option.h"
#include "link/wire_trace.h"

int main(int argc, char** argv) {
  const TraceOption trace = TakeTraceOption(&argc, argv);   // before the toolkit reads argv
  OpenMainWindow(argc, argv);
  StartTraceOption(trace);
  WatchTerminationSignals();
  Fl::run();
  CloseDown();
  WireTraceStop();
  return 0;
}
