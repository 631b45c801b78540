// Puts a file written aside in place of another in one step, so a reader of
// the memory image never sees half of it.
#pragma once
#include <string>

// Renames from to to, replacing to when it exists. False on failure.
bool replaceFile(const std::string& from, const std::string& to);
