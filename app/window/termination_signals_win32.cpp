// Windows sends a GUI program no signals. The end of the session and "End
// task" arrive as window messages that FLTK turns into the window's close,
// which a Write already outlasts (see program_end.h). What remains is the
// console the program may have been started from: Ctrl+C, Ctrl+Break and the
// console's close arrive as control events, on a thread of their own.
#include <windows.h>

#include <atomic>

#include <FL/Fl.H>

#include "app/window/program_end.h"

namespace {

std::atomic<bool> signalled{false};

void TerminationOnGuiThread(void*) { RequestTermination(); }

BOOL WINAPI NoteConsoleEvent(DWORD event) {
  signalled = true;
  Fl::awake(TerminationOnGuiThread, nullptr);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the system end the process at once: wait instead until
    // the GUI thread has ended it (the system allows a few seconds).
    for (;;) Sleep(100);
  }
  return TRUE;
}

}  // namespace

void WatchTerminationSignals() {
  Fl::lock();   // once, on the GUI thread: lets the handler's thread wake the event loop
  SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
}

bool TerminationSignalPending() { return signalled; }
