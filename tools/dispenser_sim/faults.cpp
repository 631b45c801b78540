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
