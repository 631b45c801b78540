#include <signal.h>

#include <atomic>
#include <initializer_list>

#include "app/cli/interrupt_signals.h"
#include "port/port.h"

namespace {

std::atomic<bool> signalled{false};

extern "C" void NoteInterrupt(int) {
  signalled = true;
  PortLayerInterrupt();
}

}  // namespace

void WatchInterruptSignals() {
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;   // the port's waits end anyway: poll is never restarted
  for (int held : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) sigaction(held, &action, nullptr);
}

bool InterruptSignalled() { return signalled; }
