// What the wire trace costs. A full Read of an 8-nozzle variant-1 controller
// with the trace off and on, alternately: unpaced over a pty (where only the
// processor's work counts, so the trace's share is the largest it can be) and
// paced at 4800 baud (as on site); then one request frame on the null port
// with the trace off and on.
//
// Usage: tarvo_trace_bench [runs]   (needs no display: the window is never shown)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/window/procedures.h"
#include "bench/read_bench_stage.h"
#include "link/frame.h"
#include "link/wire_trace.h"
#include "port/port.h"
#include "tests/support/dispenser_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Median Read time in ms with the trace off and on, runs of each, alternating.
bool TimeReads(ReadBenchStage& stage, const std::vector<std::string>& simArgs, int runs,
               double* off, double* on) {
  DispenserSim sim(simArgs);
  if (!sim.ok() || !stage.openPort(sim.announce())) return false;
  ReadController(Form());   // warms up
  std::vector<double> times[2];
  for (int run = 0; run < 2 * runs; ++run) {
    const bool traced = run % 2 == 1;
    if (traced) WireTraceStart("bench.trace");
    const auto start = Clock::now();
    ReadController(Form());
    times[traced].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    WireTraceStop();
    if (!ReadBenchStage::readFound(8)) return false;
  }
  stage.closePort();
  sim.stop();
  *off = Median(times[0]);
  *on = Median(times[1]);
  return true;
}

// Nanoseconds per select frame and read header written to the null port.
double FrameNs(bool traced) {
  uint16_t stub = 0;
  PortOpen(&stub, "STUB");
  if (traced) WireTraceStart("bench.trace", 1LL << 40);
  uint8_t header[8] = {0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x18, 0};
  header[7] = static_cast<uint8_t>(frameChecksum(header, 7));
  constexpr int kFrames = 200000;
  const auto start = Clock::now();
  for (int i = 0; i < kFrames; ++i) {
    sendSelect(stub, 1, 0x48);
    PortWrite(stub, header, 8);
  }
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kFrames;
  WireTraceStop();
  PortClose(stub);
  return ns;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
  ReadBenchStage stage("tarvo_trace_bench");   // port.out and the trace go there
  if (!stage.ok()) return 1;

  std::printf("Wire trace, Read of an 8-nozzle variant-1 controller, median of %d runs each\n",
              runs);
  double off = 0, on = 0;
  if (!TimeReads(stage, {"--variant", "1", "--nozzles", "8"}, runs, &off, &on)) {
    std::fprintf(stderr, "the unpaced Read failed\n");
    return 1;
  }
  std::printf("  unpaced  : off %.2f ms, on %.2f ms (%+.1f %%)\n", off, on, 100.0 * (on - off) / off);
  const int pacedRuns = std::max(1, runs / 3);
  if (!TimeReads(stage, {"--variant", "1", "--nozzles", "8", "--pace"}, pacedRuns, &off, &on)) {
    std::fprintf(stderr, "the paced Read failed\n");
    return 1;
  }
  std::printf("  4800 baud: off %.1f ms, on %.1f ms (%+.1f %%, %d runs each; target a few %%)\n",
              off, on, 100.0 * (on - off) / off, pacedRuns);
  std::printf("  one request on the null port: off %.0f ns, on %.0f ns\n", FrameNs(false),
              FrameNs(true));
  return 0;
}
