// The file-reading targets hand their input to the code under test as a file,
// the way the tool meets it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A private folder made once per process (removed at exit).
const std::string& FuzzFolder();
// Writes the bytes to FuzzFolder()/name and returns the path.
std::string FuzzWriteFile(const char* name, const uint8_t* data, size_t size);
