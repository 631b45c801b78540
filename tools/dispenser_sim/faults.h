// Faults injected into the exchanges, each drawn with its own probability
// from one seeded generator, so a run can be repeated exactly.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct FaultRates {
  double noReply = 0;      // the request is lost: not acted on, not answered
  double late = 0;         // the reply goes out lateMs later than usual
  double truncate = 0;     // only a part of the reply goes out
  double badChecksum = 0;  // a reply's trailing checksum is wrong
  double refuse = 0;       // a write or nozzle command is refused (0xFF) and not acted on
  double noise = 0;        // 1-8 random bytes follow the reply
  int lateMs = 1500;
};

// One fault put on one chosen reply, for tests that need a fault at an exact
// place: the first request whose trace description contains `match` (and that
// no earlier forced fault took) gets it.
// LateNoise: noise that follows the reply --late-ms after it. Collision: with
// --echo, the echo of the request's last byte comes back changed.
enum class ForcedKind { NoReply, Late, Truncate, Checksum, Refuse, Noise, LateNoise, Collision };
struct ForcedFault {
  ForcedKind kind;
  std::string match;
};
// "late:TEXT" and the like (no-reply, late, truncate, checksum, refuse,
// noise, late-noise); false when the kind is unknown or the text empty.
bool parseForcedFault(const std::string& text, ForcedFault* out);

class FaultInjector {
 public:
  FaultInjector(const FaultRates& rates, uint32_t seed) : rates_(rates), random_(seed) {}
  const FaultRates& rates() const { return rates_; }
  // True with probability p; draws nothing when p is 0.
  bool roll(double p);
  // 0 .. bound - 1.
  uint32_t below(uint32_t bound);

 private:
  FaultRates rates_;
  std::mt19937 random_;
};
