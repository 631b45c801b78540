#pragma once
#include <cstdint>

// One key line of an INI file. Allocated with malloc, key and value with
// strdup; the reader that made it frees all three.
struct IniEntry {
  int32_t section;  // index of the last header before the line; -1 before any
  char* key;
  char* value;
};
