// The memory image on disk, readable by a person:
//
//   # dispenser-sim memory image
//   commits 2
//   # main settings
//   0:003101 11 00 01 00 04 01 00 00 00 00 00 00 00 00 00 5C
//
// Each data line is bank:address (hexadecimal) and up to 16 bytes. Every
// known area starts a new line under a comment with its name. Lines starting
// with '#' and empty lines are ignored on loading.
#pragma once
#include <string>

#include "tools/dispenser_sim/memory_image.h"

// Replaces the file atomically (written beside it, then renamed).
bool saveImage(const std::string& path, const MemoryImage& memory, int commits,
               std::string* error);
// Fills memory (cleared first) and commits; on failure says which line is wrong.
bool loadImage(const std::string& path, MemoryImage* memory, int* commits, std::string* error);
