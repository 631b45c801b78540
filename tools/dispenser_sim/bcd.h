// Packed BCD as the controller carries amounts: two decimal digits a byte,
// tens in the high nibble, most significant pair first.
#pragma once
#include <cstdint>

// Writes value (0 .. 10^(2*count) - 1) into count bytes.
void toBcd(uint32_t value, uint8_t* out, int count);
// Reads count bytes; false when a nibble is not a decimal digit.
bool fromBcd(const uint8_t* in, int count, uint32_t* value);
