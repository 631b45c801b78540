// How close a full Read of an 8-nozzle variant-1 controller comes to the
// wire's own limit at 4800 baud: dispenser-sim paces every byte both ways at
// 2.083 ms. Prints the time taken, the floor (every byte on the wire, the
// procedure's fixed waits and the controller's turnaround) and their ratio, for a clean line (target at most
// 1.10), a line that echoes what the tool sends (at most 1.03: the echo takes
// no wire time of its own) and a USB adapter that hands bytes over in 16 ms
// bursts (against the floor plus one burst a reply).
//
// Usage: tarvo_read_bench [runs]   (needs no display: the window is never shown)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/app_state.h"
#include "app/core/controller_state.h"
#include "app/window/procedures.h"
#include "bench/read_bench_stage.h"
#include "tests/support/dispenser_sim.h"

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 4800.0;   // 8N1: ten bits a byte
constexpr int kSelectAndHeader = 4 + 8;             // every read request
constexpr int kFixedWaitsMs = 20 + 20;              // before the length and the block
constexpr int kTurnaroundMs = 1;                    // the simulator's reply delay, each reply

// Bytes one full Read moves, both ways, for the controller just read.
int ReadWireBytes() {
  const int reads[] = {1, 1, State().controller.statusByte, kCommonBlockSize, kPasswordStateSize};
  int bytes = 0;
  for (int count : reads) bytes += kSelectAndHeader + count + 1;
  bytes += State().controller.nozzleCount *
           (kSelectAndHeader + CalibrationTransferSize(State().controller.variant) + 1);
  return bytes;
}

// Replies one full Read waits for: one a request.
int ReadReplies() { return 5 + State().controller.nozzleCount; }

// One line kind: its Read times against the floor (plus burstMs for every
// reply when the adapter hands replies over in bursts).
bool BenchLine(ReadBenchStage& stage, int runs, const char* label,
               const std::vector<std::string>& lineArgs, int burstMs, const char* target) {
  std::vector<std::string> args = {"--variant", "1", "--nozzles", "8", "--pace"};
  args.insert(args.end(), lineArgs.begin(), lineArgs.end());
  DispenserSim sim(args);
  if (!sim.ok()) {
    std::fprintf(stderr, "dispenser-sim did not start\n");
    return false;
  }
  if (!stage.openPort(sim.announce())) {
    std::fprintf(stderr, "cannot open %s\n", sim.announce().c_str());
    return false;
  }
  std::vector<double> times;
  for (int run = 0; run <= runs; ++run) {   // run 0 warms up (and finds an echo)
    const auto start = std::chrono::steady_clock::now();
    ReadController(Form());
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ReadBenchStage::readFound(8)) {
      std::fprintf(stderr, "the Read failed (%s)\n", label);
      return false;
    }
    if (run > 0) times.push_back(ms);
  }
  stage.closePort();
  std::sort(times.begin(), times.end());
  const int bytes = ReadWireBytes();
  const int replies = ReadReplies();
  const double floorMs =
      bytes * kByteMs + kFixedWaitsMs + (kTurnaroundMs + burstMs) * replies;
  const double median = times[times.size() / 2];
  std::printf("Read of an 8-nozzle variant-1 controller at 4800 baud, %s, %d runs\n", label, runs);
  std::printf("  wire bytes both ways : %d (%.1f ms) + fixed waits %d ms + %d replies x (%d ms "
              "turnaround", bytes, bytes * kByteMs, kFixedWaitsMs, replies, kTurnaroundMs);
  if (burstMs > 0) std::printf(" + %d ms burst", burstMs);
  std::printf(")");
  std::printf("\n  floor                : %.1f ms\n", floorMs);
  std::printf("  time taken           : median %.1f ms, best %.1f ms, worst %.1f ms\n", median,
              times.front(), times.back());
  std::printf("  ratio (median/floor) : %.3f (%s)\n", median / floorMs, target);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  ReadBenchStage stage("tarvo_read_bench");
  if (!stage.ok()) return 1;
  // On a half-duplex line the echo of each byte arrives as the byte leaves:
  // it takes no wire time of its own, and the floor stays the same.
  if (!BenchLine(stage, runs, "clean line", {}, 0, "target <= 1.10") ||
      !BenchLine(stage, runs, "line that echoes", {"--echo"}, 0, "target <= 1.03") ||
      !BenchLine(stage, runs, "USB adapter, 16 ms bursts", {"--usb-latency", "16"}, 16,
                 "floor counts one burst a reply")) {
    return 1;
  }
  return 0;
}
