// Opening the files the tool reads or appends to at start (tarvo_6.ini,
// qv.bmp, ru/tarvo_6.mo, port.out). Anyone who can write the working folder
// can put a named pipe or a device link there: opening a FIFO blocks until a
// writer comes, and /dev/zero never ends. Only regular files are opened;
// anything else is treated as missing, and the check itself never waits.
#pragma once
#include <cstdio>

// Reasons of the tool's own for a file it will not use, beside the system's
// errno values (errno has no word for them). Negative, so never an errno.
constexpr int kErrorNotRegularFile = -1;   // a directory, pipe, device or socket stands there
constexpr int kErrorSymbolicLink = -2;     // a symbolic link stands in the file's place

// fopen(path, mode) when path names a regular file (after links), else
// nullptr, with why in *error when given: an errno value, or
// kErrorNotRegularFile. mode is "rb" or "ab".
std::FILE* OpenRegularFile(const char* path, const char* mode, int* error = nullptr);
