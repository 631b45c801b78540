#include "app/program_end.h"

#include <cstdlib>

#include "app/startup.h"

namespace {

int writesUnderway = 0;
bool terminationRequested = false;

// Closes the port and stops the port layer and the tick thread (CloseDown),
// then ends the program as its window closing would.
[[noreturn]] void EndProgramNow() {
  CloseDown();
  std::exit(0);
}

}  // namespace

WriteUnderway::WriteUnderway() { ++writesUnderway; }

WriteUnderway::~WriteUnderway() {
  if (--writesUnderway == 0 && TerminationRequested()) EndProgramNow();
}

bool TerminationRequested() { return terminationRequested || TerminationSignalPending(); }

void RequestTermination() {
  terminationRequested = true;
  if (writesUnderway == 0) EndProgramNow();
}
