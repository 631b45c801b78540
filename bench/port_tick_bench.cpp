// Prints what the tick service and the port layer cost:
//   - one PortAvailable on an idle pseudo-terminal (target: under 5 us),
//   - one read of tickNow, which asks the platform clock each time,
//   - CPU and context switches of the process over 10 s with the tick
//     service started and nothing to do (target: nothing wakes it).
#include <pty.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "clock/tick.h"
#include "port/port.h"
#include "tests/support/process_activity.h"

namespace {

size_t ThreadCount() {
  std::error_code error;
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error))
    ++n;
  return n;
}

void benchPortAvailable() {
  int master = -1, slave = -1;
  char path[256] = {};
  if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
    std::printf("PortAvailable: no pseudo-terminal available\n");
    return;
  }
  uint16_t handle = 0;
  int status = PortOpen(&handle, path);
  if (status != kPortOpened) {
    std::printf("PortAvailable: open of %s failed (%d)\n", path, status);
  } else {
    const int calls = 200000;
    int sum = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) sum += PortAvailable(handle);
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    std::printf("PortAvailable on an idle pty: %.3f us per call (%d calls%s; target < 5 us)\n",
                spent.count() / calls, calls, sum == 0 ? "" : ", saw data");
    PortClose(handle);
  }
  close(slave);
  close(master);
}

// The tick is read from the clock when asked: what one read costs, since the
// link reads it on every step of an exchange.
void benchTickRead() {
  tickStart();
  const int reads = 1000000;
  uint32_t sum = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < reads; ++i) sum += tickNow();
  std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
  tickStop();
  std::printf("tickNow: %.1f ns per read (%d reads, checksum %u; target < 1000 ns)\n",
              spent.count() / reads, reads, sum & 1);
}

// With the tick service started and nothing to do, the process must sleep:
// its threads' CPU time and context switches over seconds of one long sleep
// of this thread (which itself accounts for one switch).
void benchTickIdle(int seconds) {
  tickStart();
  ProcessActivity before, after;
  const bool measured = ReadProcessActivity(getpid(), &before);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  if (measured && ReadProcessActivity(getpid(), &after)) {
    std::printf("tick service idle over %d s: %.3f ms CPU, %ld context switches, %zu threads "
                "(target: nothing wakes it)\n",
                seconds, 1000 * (after.cpuSeconds - before.cpuSeconds),
                after.contextSwitches - before.contextSwitches, ThreadCount());
  } else {
    std::printf("tick service idle: /proc/self could not be read\n");
  }
  tickStop();
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  if (seconds < 1) seconds = 10;
  // port.out goes to a scratch folder, not wherever the benchmark was started.
  char scratch[] = "/tmp/tarvo_bench_XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) return 1;
  PortLayerStart();
  benchPortAvailable();
  benchTickRead();
  benchTickIdle(seconds);
  PortLayerStop();
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
