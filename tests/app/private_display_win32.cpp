// Under Wine the windows of a Windows test program are X windows on the
// display Wine was given: scripts/test-windows.sh starts a private Xvfb for
// the whole run and names it in DISPLAY, so there is nothing to start here.
#include "tests/app/private_display.h"

#include <cstdlib>

PrivateDisplay::PrivateDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    name_ = display;
    pid_ = 1;   // running, and not ours to stop
  }
}

PrivateDisplay::~PrivateDisplay() = default;
