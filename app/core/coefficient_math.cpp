#include "app/core/coefficient_math.h"

#include <cmath>

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

constexpr long double kTwo32 = 4294967296.0L;
constexpr uint64_t kLimit40 = uint64_t{1} << 40;

// floor(v + 0.5) as a 40-bit integer; false when v is not finite or the result
// would not fit the five bytes it is stored in.
bool Round40(long double v, uint64_t* out) {
  long double r = std::floor(v + 0.5L);
  if (!std::isfinite(r) || r < 0.0L || r >= static_cast<long double>(kLimit40)) return false;
  *out = static_cast<uint64_t>(r);
  return true;
}

}  // namespace

double CoefficientValue(const uint8_t* record) {
  return static_cast<double>((record[4] * kTwo32 + Le32(record)) / kTwo32);
}

double ShortCoefficientValue(const uint8_t* shortRecord) {
  return static_cast<double>((shortRecord[11] * kTwo32 + Le32(shortRecord)) / kTwo32);
}

uint16_t ResetDivisor(const uint8_t* record) { return Le16(record + 14); }
uint16_t CalibrationCount(const uint8_t* record) { return Le16(record + 17); }
uint16_t ShortRecordNumber(const uint8_t* shortRecord) { return Le16(shortRecord + 12); }

Recalculation RecalculateCoefficients(uint8_t* record, long double x) {
  const long double k = record[4] * kTwo32 + Le32(record);
  const uint32_t d = Le32(record + 10);
  const uint16_t w = ResetDivisor(record);

  // D = 0 means K2 equals K (modulo 2^32), and keeps doing so.
  const long double t = d != 0 ? (k + d) / k : 1.0L;
  long double f;
  if (x != 0.0L) {
    f = k * (x / 10.0L);
  } else {
    if (w == 0) return Recalculation::kNoResetDivisor;
    f = 429496729600.0L / w;   // 100 x 2^32 / W
  }

  uint64_t kNew, k2New;
  if (!Round40(f, &kNew) || !Round40(t * f, &k2New)) return Recalculation::kOutOfRange;

  const uint32_t kLow = static_cast<uint32_t>(kNew);
  const uint32_t k2Low = static_cast<uint32_t>(k2New);
  PutLe32(record, kLow);
  record[4] = static_cast<uint8_t>(kNew >> 32);
  PutLe32(record + 5, k2Low);
  record[9] = static_cast<uint8_t>(k2New >> 32);
  PutLe32(record + 10, k2Low - kLow);
  const uint16_t count = static_cast<uint16_t>(CalibrationCount(record) + 1);
  record[17] = static_cast<uint8_t>(count);
  record[18] = static_cast<uint8_t>(count >> 8);
  return Recalculation::kDone;
}
