// Filling and ordering PortNameList, shared by the serial-name sources and
// the USB scan.
#pragma once
#include <cstddef>

// Appends the first length bytes of name as the next entry; nothing when the
// list is full. A name longer than an entry holds is left out, with a line on
// standard error saying so.
void PortNameAppend(const char* name, size_t length);
bool PortNameListFull();
// Orders the listed names: two names beginning "COM" by the number after it
// (COM9 before COM10), every other pair byte by byte.
void PortNameListSort();
