#include "app/window/program_end.h"

#include <cstdlib>
#include <utility>

namespace {

int writesUnderway = 0;
bool terminationRequested = false;
std::function<void()> closeDown;

// Closes down as the start-up asked (the port, the port layer, the tick
// thread), then ends the program as its window closing would.
[[noreturn]] void EndProgramNow() {
  if (closeDown) closeDown();
  std::exit(0);
}

}  // namespace

void CloseDownOnTermination(std::function<void()> action) { closeDown = std::move(action); }

WriteUnderway::WriteUnderway() { ++writesUnderway; }

WriteUnderway::~WriteUnderway() {
  if (--writesUnderway == 0 && TerminationRequested()) EndProgramNow();
}

bool TerminationRequested() { return terminationRequested || TerminationSignalPending(); }

void RequestTermination() {
  terminationRequested = true;
  if (writesUnderway == 0) EndProgramNow();
}
