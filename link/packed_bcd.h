// Packed BCD as the controller carries amounts: two decimal digits per byte,
// tens in the high nibble, most significant pair first.
#pragma once
#include <cstdint>

// Writes number as 2 x byteCount decimal digits into out; digits above the
// field's width are dropped.
void packBcd(uint32_t number, uint8_t* out, int byteCount);

// 1 when every byte is a valid pair: at most 0x9F and a low nibble of 0-9.
int isPackedBcd(const uint8_t* bytes, int byteCount);

// The decimal value of one pair (0-99 for a valid pair).
int bcdPairValue(uint8_t pair);
