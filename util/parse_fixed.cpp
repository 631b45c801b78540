#include "util/parse_fixed.h"

// Arithmetic is done modulo 2^32, so a text too long for 32 bits gives a
// wrapped value rather than undefined behaviour; the operator's entries that
// reach this are a few digits long.
int32_t ParseFixed(const char* text, int8_t decimals) {
  if (!text) return 0;
  const char* p = text;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    p++;
  }
  uint32_t value = 0;
  for (; *p && *p != '.' && *p != ','; p++) value = value * 10u + uint32_t(uint8_t(*p) - 48u);
  if (decimals > 0) {
    uint32_t fraction = 0;
    int taken = 0;
    if (*p) {  // the separator
      for (p++; *p && taken < decimals; p++, taken++)
        fraction = fraction * 10u + uint32_t(uint8_t(*p) - 48u);
    }
    for (; taken < decimals; taken++) fraction *= 10u;
    for (int k = 0; k < decimals; k++) value *= 10u;
    value += fraction;
  }
  if (negative) value = 0u - value;
  return int32_t(value);
}
