// Waits for what the window shows while its event loop runs, as it runs in
// the program: timers fire, the fill follows, labels change.
#pragma once
#include <FL/Fl.H>

#include "tests/support/wait_until.h"

// True as soon as condition() holds; false when timeoutMs passed without it.
template <typename Condition>
bool PumpUntil(Condition condition, int timeoutMs = 5000) {
  return waitUntil([&] {
    if (condition()) return true;
    Fl::wait(0.005);
    return condition();
  }, timeoutMs);
}
