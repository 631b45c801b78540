// How close a full Read of an 8-nozzle variant-1 controller comes to the
// wire's own limit at 4800 baud: dispenser-sim paces every byte both ways at
// 2.083 ms. Prints the time taken, the floor (every byte on the wire plus the
// procedure's fixed waits) and their ratio; the target is at most 1.10.
//
// Usage: tarvo_read_bench [runs]   (needs no display: the window is never shown)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/controller_state.h"
#include "app/procedures.h"
#include "bench/read_bench_stage.h"
#include "tests/support/dispenser_sim.h"

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 4800.0;   // 8N1: ten bits a byte
constexpr int kSelectAndHeader = 4 + 8;             // every read request
constexpr int kFixedWaitsMs = 20 + 20;              // before the length and the block

// Bytes one full Read moves, both ways, for the controller just read.
int ReadWireBytes() {
  const int reads[] = {1, 1, Controller.statusByte, kCommonBlockSize, kPasswordStateSize};
  int bytes = 0;
  for (int count : reads) bytes += kSelectAndHeader + count + 1;
  bytes += Controller.nozzleCount *
           (kSelectAndHeader + CalibrationTransferSize(Controller.variant) + 1);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  ReadBenchStage stage("tarvo_read_bench");
  if (!stage.ok()) return 1;
  DispenserSim sim({"--variant", "1", "--nozzles", "8", "--pace"});
  if (!sim.ok()) {
    std::fprintf(stderr, "dispenser-sim did not start\n");
    return 1;
  }
  if (!stage.openPort(sim.announce())) {
    std::fprintf(stderr, "cannot open %s\n", sim.announce().c_str());
    return 1;
  }

  std::vector<double> times;
  for (int run = 0; run <= runs; ++run) {   // run 0 warms up
    const auto start = std::chrono::steady_clock::now();
    ReadController();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ReadBenchStage::readFound(8)) {
      std::fprintf(stderr, "the Read failed\n");
      return 1;
    }
    if (run > 0) times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  const int bytes = ReadWireBytes();
  const double floorMs = bytes * kByteMs + kFixedWaitsMs;
  const double median = times[times.size() / 2];
  std::printf("Read of an 8-nozzle variant-1 controller at 4800 baud, %d runs\n", runs);
  std::printf("  wire bytes both ways : %d (%.1f ms) + fixed waits %d ms\n", bytes, bytes * kByteMs,
              kFixedWaitsMs);
  std::printf("  floor                : %.1f ms\n", floorMs);
  std::printf("  time taken           : median %.1f ms, best %.1f ms, worst %.1f ms\n", median,
              times.front(), times.back());
  std::printf("  ratio (median/floor) : %.3f (target <= 1.10)\n", median / floorMs);
  return 0;
}
