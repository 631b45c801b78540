// Ctrl+C, Ctrl+Break, closing the console window and logging off ask the
// simulator to stop (it saves its image first). Windows has no SIGUSR1: the
// configuration key stays as --key set it.
#include <windows.h>

#include <atomic>

#include "tools/dispenser_sim/stop_signals.h"

namespace {

std::atomic<bool> stop{false};

// Runs on a thread of its own. Returning TRUE for a close ends the process
// once the handler returns, so it waits for the main loop to finish saving.
BOOL WINAPI onConsoleEvent(DWORD) {
  stop = true;
  Sleep(2000);
  return TRUE;
}

}  // namespace

void installSignalHandlers() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool stopRequested() { return stop; }

bool takeKeyToggle() { return false; }
