// How the program ends besides its window closing: SIGTERM, SIGINT, SIGHUP and SIGQUIT
// (console control events on Windows) close the port, releasing its lock and
// exclusive mode, and end the program at once, except during a Write. A
// Write cut short would leave records written without their calibration
// counter and commit, so a termination asked for meanwhile waits for the
// Write to end, whether it ends done or failed.
//
// The window's close button needs nothing of this: FLTK's event loop returns
// only between callbacks, and a Write runs inside its button's callback, so a
// close asked for during it takes effect after it.
#pragma once
#include <functional>

// Marks a Write for its lifetime; a termination asked for meanwhile happens
// when the last one is over.
class WriteUnderway {
 public:
  WriteUnderway();
  ~WriteUnderway();
  WriteUnderway(const WriteUnderway&) = delete;
  WriteUnderway& operator=(const WriteUnderway&) = delete;
};

// True once a termination has been asked for: a Write not begun yet does not
// begin.
bool TerminationRequested();

// A termination signal reached the GUI thread: ends the program now, or after
// the Write underway.
void RequestTermination();

// What a termination does before the program ends: the start-up's close-down.
void CloseDownOnTermination(std::function<void()> action);

// Platform side (termination_signals_*.cpp): starts watching for termination
// signals, which reach RequestTermination on the GUI thread.
void WatchTerminationSignals();
// Whether a termination signal has come, even if it has not reached the GUI
// thread yet (the thread is busy in a procedure).
bool TerminationSignalPending();
