// A --read ended from outside: SIGTERM, SIGHUP, SIGINT or SIGQUIT on POSIX;
// Ctrl+C, Ctrl+Break or the console's close on Windows. Ending at once would
// leave a serial device in exclusive mode, which refuses the next open by
// anyone but root. So the handler only interrupts the port layer (every
// exchange then fails at once) and notes the signal; the command closes the
// port itself and exits with kExitInterrupted.
#pragma once

// Starts watching; the port layer must be started.
void WatchInterruptSignals();
// True once one of the signals has come.
bool InterruptSignalled();
