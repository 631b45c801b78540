// tarvo_6: service tool for the controller of a CNG fuel dispenser. Without
// arguments of its own it opens the window; --read and --list-ports run
// without one.
#include <FL/Fl.H>

#include "app/cli/command_line.h"
#include "app/program_end.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  if (IsCommandLineRun(argc, argv)) return RunCommandLine(argc, argv);
  OpenMainWindow(argc, argv);
  WatchTerminationSignals();
  Fl::run();
  CloseDown();
  return 0;
}
