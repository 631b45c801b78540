#include "link/packed_bcd.h"

void packBcd(uint32_t number, uint8_t* out, int byteCount) {
  for (int i = byteCount - 1; i >= 0; --i) {
    uint8_t units = number % 10;
    number /= 10;
    uint8_t tens = number % 10;
    number /= 10;
    out[i] = static_cast<uint8_t>((tens << 4) | units);
  }
}

// The high nibble is allowed up to 9 with any low digit (0x9F at most), which
// is exactly "high nibble <= 9"; the low nibble must be a decimal digit.
int isPackedBcd(const uint8_t* bytes, int byteCount) {
  for (int i = 0; i < byteCount; ++i) {
    if (bytes[i] > 0x9F || (bytes[i] & 0x0F) > 9) return 0;
  }
  return 1;
}

int bcdPairValue(uint8_t pair) { return (pair >> 4) * 10 + (pair & 0x0F); }
