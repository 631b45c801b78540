#include "tests/support/process_activity.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

long ContextSwitchesOf(const std::filesystem::path& task) {
  std::ifstream status(task / "status");
  long sum = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
        line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
      sum += std::stol(line.substr(line.find(':') + 1));
  }
  return sum;
}

// Run time in nanoseconds from schedstat, which is exact; false where the
// kernel does not keep it.
bool ScheduledSecondsOf(const std::filesystem::path& task, double* seconds) {
  std::ifstream schedstat(task / "schedstat");
  unsigned long long ns = 0;
  if (!(schedstat >> ns)) return false;
  *seconds = double(ns) * 1e-9;
  return true;
}

// utime + stime of the whole process, in clock ticks (10 ms steps).
bool StatSecondsOf(const std::filesystem::path& process, double* seconds) {
  std::ifstream stat(process / "stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = all.rfind(')');
  if (paren == std::string::npos) return false;
  std::istringstream rest(all.substr(paren + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  *seconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
  return true;
}

}  // namespace

bool ReadProcessActivity(pid_t pid, ProcessActivity* out) {
  namespace fs = std::filesystem;
  const fs::path process = fs::path("/proc") / std::to_string(pid);
  std::error_code error;
  ProcessActivity sum;
  bool exact = true;
  for (const fs::directory_entry& task : fs::directory_iterator(process / "task", error)) {
    sum.contextSwitches += ContextSwitchesOf(task.path());
    double seconds = 0;
    if (exact && ScheduledSecondsOf(task.path(), &seconds)) {
      sum.cpuSeconds += seconds;
    } else {
      exact = false;
    }
  }
  if (error) return false;
  if (!exact && !StatSecondsOf(process, &sum.cpuSeconds)) return false;
  *out = sum;
  return true;
}
