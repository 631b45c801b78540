#include "link/frame.h"

int frameChecksum(const uint8_t* bytes, int length) {
  if (length < 1) return -1;
  unsigned running = 0xFF;
  for (int i = 0; i < length; ++i) {
    unsigned x = (running ^ bytes[i]) & 0xFF;
    running = ((x << 1) | (x >> 7)) & 0xFF;
  }
  return static_cast<int>(running);
}
