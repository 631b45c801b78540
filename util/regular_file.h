// Opening the files the tool reads or appends to at start (tarvo_6.ini,
// qv.bmp, ru/tarvo_6.mo, port.out). Anyone who can write the working folder
// can put a named pipe or a device link there: opening a FIFO blocks until a
// writer comes, and /dev/zero never ends. Only regular files are opened;
// anything else is treated as missing, and the check itself never waits.
#pragma once
#include <cstdio>

// fopen(path, mode) when path names a regular file (after links), else
// nullptr. mode is "rb" or "ab".
std::FILE* OpenRegularFile(const char* path, const char* mode);
