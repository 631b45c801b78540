#include "util/all_bytes_equal.h"

int AllBytesEqual(const void* data, int32_t length, uint8_t byte) {
  if (length < 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (int32_t i = 0; i < length; i++)
    if (p[i] != byte) return 0;
  return 1;
}
