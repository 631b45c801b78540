// The receive ring of an open slot: received bytes are appended at rxWrite and
// taken at rxRead, both wrapping at kRxRingSize.
#pragma once
#include <cstdint>

#include "port/port_table.h"

// Bytes waiting to be read.
int RingCount(const PortSlot& slot);
// Appends count bytes. Bytes that do not fit are dropped: unread bytes are
// never overwritten and the indices never pass each other. Returns the number
// of bytes stored.
int RingAppend(PortSlot& slot, const uint8_t* bytes, int count);
// Takes exactly count bytes into dest (kPortReadTaken), or nothing when fewer
// wait (kPortReadNothing).
int RingTake(PortSlot& slot, uint8_t* dest, int count);
// Drops everything waiting.
void RingDrop(PortSlot& slot);
