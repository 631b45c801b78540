#include <signal.h>

#include <csignal>

#include "tools/dispenser_sim/stop_signals.h"

namespace {
volatile sig_atomic_t stop = 0;
volatile sig_atomic_t keyToggles = 0;

void onStop(int) { stop = 1; }
void onKey(int) { keyToggles = keyToggles + 1; }
}  // namespace

void installSignalHandlers() {
  struct sigaction a {};
  sigemptyset(&a.sa_mask);
  // No SA_RESTART: a signal cuts the main loop's wait short.
  a.sa_handler = onStop;
  sigaction(SIGINT, &a, nullptr);
  sigaction(SIGTERM, &a, nullptr);
  a.sa_handler = onKey;
  sigaction(SIGUSR1, &a, nullptr);
  a.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &a, nullptr);
}

bool stopRequested() { return stop != 0; }

bool takeKeyToggle() {
  if (keyToggles == 0) return false;
  keyToggles = keyToggles - 1;
  return true;
}
