#include "tools/dispenser_sim/bcd.h"

void toBcd(uint32_t value, uint8_t* out, int count) {
  for (int i = count - 1; i >= 0; --i) {
    uint32_t pair = value % 100;
    value /= 100;
    out[i] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
  }
}

bool fromBcd(const uint8_t* in, int count, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    int high = in[i] >> 4, low = in[i] & 0x0F;
    if (high > 9 || low > 9) return false;
    v = v * 100 + static_cast<uint32_t>(high * 10 + low);
  }
  *value = v;
  return true;
}
