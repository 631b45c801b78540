// SIGTERM, SIGINT, SIGHUP and SIGQUIT on POSIX: the handler only notes the signal and
// wakes FLTK's event loop through a pipe; the program is ended from the GUI
// thread, where the port and the procedures live.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include <FL/Fl.H>

#include "app/window/program_end.h"

namespace {

int wakePipe[2] = {-1, -1};
volatile sig_atomic_t signalled = 0;

extern "C" void NoteTerminationSignal(int) {
  const int savedErrno = errno;
  signalled = 1;
  const char byte = 1;
  if (write(wakePipe[1], &byte, 1) < 0) {
    // The pipe is full: the loop has been woken already.
  }
  errno = savedErrno;
}

void WakePipeReadable(int fd, void*) {
  char drained[64];
  while (read(fd, drained, sizeof drained) > 0) {
  }
  RequestTermination();
}

}  // namespace

void WatchTerminationSignals() {
  // Without the pipe the signals keep their default action.
  if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  Fl::add_fd(wakePipe[0], FL_READ, WakePipeReadable);
  struct sigaction action {};
  action.sa_handler = NoteTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;   // the port's reads and writes are not cut short
  for (int held : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(held, &action, nullptr);
}

bool TerminationSignalPending() { return signalled != 0; }
