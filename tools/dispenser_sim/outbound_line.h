// The line from the simulator to the tool: every byte the tool will receive,
// the controller's replies and, on a line that echoes, the tool's own bytes,
// each with the time it reaches the tool's end. A USB serial adapter in front
// of the tool holds what it receives and hands it over in bursts.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "tools/dispenser_sim/faults.h"
#include "tools/dispenser_sim/trace.h"

struct LineSettings {
  bool echo = false;          // every byte the tool sends comes back to it
  double collision = 0;       // per echoed byte: the probability it comes back changed
  int64_t usbLatencyUs = 0;   // 0: bytes are handed over as they arrive
};

class OutboundLine {
 public:
  // seed: of the collisions.
  OutboundLine(const LineSettings& settings, uint32_t seed, Trace& trace);

  // A byte the tool sent, on the wire until atUs: on an echoing line it
  // comes back then, as the tool's own receiver hears it.
  void sent(uint8_t byte, int64_t atUs);
  // A reply byte reaching the tool at atUs.
  void add(uint8_t byte, int64_t atUs);
  // What the tool is handed by nowUs, in order.
  std::vector<uint8_t> due(int64_t nowUs);
  // When due next has something to hand over or to hold.
  int64_t nextEventUs() const;
  // Drops everything not yet handed over.
  void clear();
  // The echo of the last byte the tool sent, not yet handed over, comes back
  // changed.
  void garbleLastEcho(int64_t atUs);

 private:
  struct TimedByte {
    uint8_t byte;
    int64_t atUs;
    bool echo;
  };
  void insert(TimedByte b);

  LineSettings settings_;
  Trace& trace_;
  FaultInjector collisions_;
  std::deque<TimedByte> wire_;     // in order of arrival at the tool's end
  std::vector<uint8_t> held_;      // in the adapter, waiting for its timer
  int64_t burstEndUs_ = 0;
};
