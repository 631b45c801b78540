#include <cstdio>

#include "tools/dispenser_sim/replace_file.h"

// rename replaces its target atomically.
bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}
