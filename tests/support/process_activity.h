// What a running process costs the machine, read from /proc: CPU time and
// how often its threads were put to sleep or pre-empted (every wake-up of a
// thread ends in one of those context switches).
#pragma once
#include <sys/types.h>

struct ProcessActivity {
  double cpuSeconds = 0;    // all threads, user and system
  long contextSwitches = 0;  // voluntary and involuntary, all threads
};

// False when the process is gone or /proc cannot be read.
bool ReadProcessActivity(pid_t pid, ProcessActivity* out);
