// Console control events arrive on a thread of their own.
#include <windows.h>

#include <atomic>

#include "app/cli/interrupt_signals.h"
#include "port/port.h"

namespace {

std::atomic<bool> signalled{false};

BOOL WINAPI NoteConsoleEvent(DWORD event) {
  signalled = true;
  PortLayerInterrupt();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning would let the system end the process at once: wait instead
    // until the command has closed the port and exited (the system allows a
    // few seconds).
    for (;;) Sleep(100);
  }
  return TRUE;
}

}  // namespace

void WatchInterruptSignals() { SetConsoleCtrlHandler(NoteConsoleEvent, TRUE); }

bool InterruptSignalled() { return signalled; }
