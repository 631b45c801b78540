// The 8-bit checksum that ends every frame, and the select frame that starts
// every request to a controller.
#pragma once
#include <cstdint>

// Low 8 bits: the checksum of length bytes; -1 when length < 1.
int frameChecksum(const uint8_t* bytes, int length);

// Drops unread input, then sends 0x60, address, function, checksum. Sends
// nothing (and drops nothing) when the address's low byte is 0.
void sendSelect(uint16_t port, int address, int function);
