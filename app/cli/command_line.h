// The program's command line: without arguments (or with FLTK's own window
// options only) the window starts; the options below run without a window
// and without an X display.
//
//   tarvo_6 --help | -h
//   tarvo_6 --version
//   tarvo_6 --list-ports
//   tarvo_6 --read PORT [--address A] [--json]
//   tarvo_6 --find [PORT...]
#pragma once

// Exit statuses of a command-line run.
constexpr int kExitDone = 0;
constexpr int kExitBadArguments = 2;
constexpr int kExitNoConnection = 3;
constexpr int kExitSettingsDamaged = 4;
constexpr int kExitPortNotOpened = 5;
constexpr int kExitInterrupted = 6;   // a signal ended --read or --find; the port was closed first

// True when the arguments ask for the command line rather than the window:
// one of them is -h or begins with "--" (FLTK's window options take a single
// dash).
bool IsCommandLineRun(int argc, char** argv);
// Runs the command the arguments name; returns the exit status. Output goes to
// standard output, errors to standard error.
int RunCommandLine(int argc, char** argv);
