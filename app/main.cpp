// tarvo_6: service tool for the controller of a CNG fuel dispenser.
#include <FL/Fl.H>

#include "app/program_end.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  OpenMainWindow(argc, argv);
  WatchTerminationSignals();
  Fl::run();
  CloseDown();
  return 0;
}
