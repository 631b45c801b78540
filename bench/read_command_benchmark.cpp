// tarvo_6 --read of a 4-nozzle variant-1 controller over a pseudo-terminal
// paced at 4800 baud (dispenser-sim --pace): the whole process, from its start
// to its exit, against the wire floor (every byte of the Read both ways plus
// its two fixed 20 ms waits). Target: at most 1.05 x floor + 30 ms.
//
// Usage: tarvo_read_command_bench TARVO_6 [runs]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/app/private_display.h"
#include "tests/support/dispenser_sim.h"

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 4800.0;   // 8N1: ten bits a byte
constexpr int kRequestBytes = 4 + 8;                // select frame and read header
constexpr int kFixedWaitsMs = 20 + 20;              // before the length and the block
constexpr int kNozzles = 4;

// Bytes of one Read both ways: each read sends its request and takes count
// bytes and a checksum. Main settings of a variant-1 controller: 16 bytes.
int ReadWireBytes() {
  const int counts[] = {1, 1, 16, 6, 19, 19, 19, 19, 16};
  static_assert(sizeof counts / sizeof counts[0] == 5 + kNozzles, "one read per nozzle");
  int bytes = 0;
  for (int count : counts) bytes += kRequestBytes + count + 1;
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s TARVO_6 [runs]\n", argv[0]);
    return 2;
  }
  char* absolute = realpath(argv[1], nullptr);   // the run changes folder
  if (absolute == nullptr) {
    std::fprintf(stderr, "no program %s\n", argv[1]);
    return 1;
  }
  const std::string program = absolute;
  free(absolute);
  const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
  char scratch[] = "/tmp/tarvo_read_command_bench_XXXXXX";   // port.out goes here
  if (!mkdtemp(scratch) || chdir(scratch) != 0) return 1;

  DispenserSim sim({"--variant", "1", "--nozzles", std::to_string(kNozzles), "--pace"});
  if (!sim.ok()) {
    std::fprintf(stderr, "dispenser-sim did not start\n");
    return 1;
  }
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::vector<double> times;
  for (int run = 0; run <= runs; ++run) {   // run 0 warms the caches up
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = StartProgram({program, "--read", sim.announce(), "--json"}, devNull);
    const int status = WaitProgram(pid, 20000);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
      std::fprintf(stderr, "tarvo_6 --read exited with %d\n", status);
      return 1;
    }
    if (run > 0) times.push_back(ms);
  }
  close(devNull);
  std::sort(times.begin(), times.end());
  const int bytes = ReadWireBytes();
  const double floorMs = bytes * kByteMs + kFixedWaitsMs;
  const double median = times[times.size() / 2];
  std::printf("tarvo_6 --read of a %d-nozzle variant-1 controller at 4800 baud, %d runs\n",
              kNozzles, runs);
  std::printf("  wire bytes both ways : %d (%.1f ms) + fixed waits %d ms\n", bytes, bytes * kByteMs,
              kFixedWaitsMs);
  std::printf("  floor                : %.1f ms\n", floorMs);
  std::printf("  process start to exit: median %.1f ms, best %.1f ms, worst %.1f ms\n", median,
              times.front(), times.back());
  std::printf("  over the floor       : median %.1f ms = %.3f x floor; target <= 1.05 x floor + 30 ms "
              "(%.1f ms): %s\n",
              median - floorMs, median / floorMs, 1.05 * floorMs + 30,
              median <= 1.05 * floorMs + 30 ? "met" : "NOT met");
  sim.stop();
  unlink("port.out");
  rmdir(scratch);
  return 0;
}
