#include "tools/dispenser_sim/faults.h"

bool FaultInjector::roll(double p) {
  if (p <= 0) return false;
  // The generator's raw output, not a library distribution: the same seed
  // gives the same faults with every standard library.
  double u = static_cast<double>(random_()) / 4294967296.0;
  return u < p;
}

uint32_t FaultInjector::below(uint32_t bound) {
  return bound == 0 ? 0 : static_cast<uint32_t>(random_() % bound);
}

bool parseForcedFault(const std::string& text, ForcedFault* out) {
  static const struct {
    const char* name;
    ForcedKind kind;
  } kKinds[] = {{"no-reply", ForcedKind::NoReply}, {"late", ForcedKind::Late},
                {"truncate", ForcedKind::Truncate}, {"checksum", ForcedKind::Checksum},
                {"refuse", ForcedKind::Refuse},     {"noise", ForcedKind::Noise},
                {"late-noise", ForcedKind::LateNoise}, {"collision", ForcedKind::Collision}};
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return false;
  const std::string name = text.substr(0, colon);
  for (const auto& k : kKinds) {
    if (name == k.name) {
      *out = {k.kind, text.substr(colon + 1)};
      return true;
    }
  }
  return false;
}
