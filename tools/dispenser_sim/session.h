// One conversation with the tool over any transport: bytes in, the frame
// decoder, the controller, faults, and the replies scheduled on a clock.
// Transport-free, so tests drive it with bytes and times of their own.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "tools/dispenser_sim/controller.h"
#include "tools/dispenser_sim/faults.h"
#include "link/frame_decoder.h"
#include "tools/dispenser_sim/outbound_line.h"
#include "tools/dispenser_sim/trace.h"

struct SessionSettings {
  bool pace = false;           // 4800 baud 8N1 wire time, both directions
  int64_t replyDelayUs = 1000; // turnaround before a reply starts
  int64_t gapLimitUs = 1000000;
  bool pointToPoint = false;
  FaultRates faults;
  std::vector<ForcedFault> forced;
  uint32_t seed = 1;
  LineSettings line;          // echo, collisions, a USB adapter's bursts
};

constexpr int64_t kByteTimeUs = 2083;   // 10 bits at 4800 baud
constexpr int64_t kNever = INT64_MAX;

class Session {
 public:
  Session(Controller& controller, const SessionSettings& settings, Trace& trace);

  // Bytes from the transport, arrived at nowUs.
  void received(const uint8_t* bytes, size_t count, int64_t nowUs);
  // Lets paced input through and moves the fills on.
  void tick(int64_t nowUs);
  // What reaches the tool by nowUs, in order: replies and, on an echoing
  // line, the tool's own bytes.
  std::vector<uint8_t> due(int64_t nowUs);
  // When tick or due next has something to do.
  int64_t nextEventUs() const;
  // The connection went away: partial frames and unsent replies are dropped.
  void connectionLost(int64_t nowUs);

 private:
  void decoded(const std::vector<Decoded>& items, int64_t nowUs);
  void answer(const Request& request, const std::string& description, int64_t nowUs);
  bool forced(const std::string& description, ForcedKind kind);
  bool fault(double rate, const std::string& description, ForcedKind kind);
  void schedule(const std::vector<uint8_t>& bytes, int64_t startUs);

  struct TimedByte {
    uint8_t byte;
    int64_t atUs;
  };

  Controller& controller_;
  SessionSettings settings_;
  Trace& trace_;
  FrameDecoder decoder_;
  FaultInjector faults_;
  std::vector<bool> forcedUsed_;
  std::deque<TimedByte> input_;   // received, waiting for their wire time
  OutboundLine output_;
  int64_t lastInputUs_ = 0;
  int64_t lastOutputUs_ = 0;
};
