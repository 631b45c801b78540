// Prints what the tick service and the port layer cost while idle:
//   - CPU time of the tick thread over 10 s (target: under 1 % of one core),
//   - one PortAvailable on an idle pseudo-terminal (target: under 5 us),
//   - the worst lateness of tickNow behind the clock over the same 10 s,
// and, to read the first figure against, what one bare 1 ms sleep costs the
// platform (a thread that wakes 1000 times a second cannot cost less).
#include <pty.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "link/tick.h"
#include "link/tick_clock.h"
#include "port/port.h"

namespace {

double cpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
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
  if (status != 0) {
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

// Over seconds of wall time, compares tickNow with the clock about every
// 200 us, and takes the tick thread's CPU time as the process's minus this
// thread's own.
void benchTick(int seconds) {
  tickStart();
  double processStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  double selfStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  auto wallStart = std::chrono::steady_clock::now();
  auto end = wallStart + std::chrono::seconds(seconds);
  int32_t worstLate = 0;
  long samples = 0;
  long overOneMs = 0;
  while (std::chrono::steady_clock::now() < end) {
    // The clock read on both sides of tickNow: a sample where this thread
    // was held up between the reads would blame the tick for our delay.
    uint32_t before = TickClockMs();
    uint32_t tick = tickNow.load();
    uint32_t after = TickClockMs();
    if (before == after) {
      int32_t late = static_cast<int32_t>(before - tick);
      if (late > worstLate) worstLate = late;
      if (late > 1) ++overOneMs;
      ++samples;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
  double tickCpu = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart) -
                   (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - selfStart);
  tickStop();
  std::printf("tick thread CPU over %.1f s: %.3f s = %.2f %% of one core (target < 1 %%)\n",
              wall.count(), tickCpu, 100.0 * tickCpu / wall.count());
  std::printf("worst lateness of tickNow behind the clock: %d ms (%ld samples, %ld over 1 ms)\n",
              worstLate, samples, overOneMs);
}

// CPU time per wake-up of a thread that only sleeps 1 ms at a time.
void benchBareSleep() {
  const int wakes = 1000;
  double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  for (int i = 0; i < wakes; ++i) TickClockPause();
  double spent = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
  std::printf("platform floor: a bare 1 ms sleep costs %.1f us CPU per wake-up = %.2f %% of one core\n",
              spent / wakes * 1e6, spent / wakes * 1000 * 100);
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
  benchTick(seconds);
  benchBareSleep();
  PortLayerStop();
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
