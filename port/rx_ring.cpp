#include "port/rx_ring.h"

#include <cstring>

int RingCount(const PortSlot& slot) {
  return (slot.rxWrite - slot.rxRead + kRxRingSize) % kRxRingSize;
}

int RingAppend(PortSlot& slot, const uint8_t* bytes, int count) {
  // One place always stays empty: rxWrite == rxRead means "nothing waiting",
  // so filling the last place would turn a full ring into an empty one.
  int room = kRxRingSize - 1 - RingCount(slot);
  if (count > room) count = room;
  if (count <= 0) return 0;
  int first = kRxRingSize - slot.rxWrite;
  if (first > count) first = count;
  std::memcpy(slot.rxRing + slot.rxWrite, bytes, static_cast<size_t>(first));
  std::memcpy(slot.rxRing, bytes + first, static_cast<size_t>(count - first));
  slot.rxWrite = static_cast<uint16_t>((slot.rxWrite + count) % kRxRingSize);
  return count;
}

int RingTake(PortSlot& slot, uint8_t* dest, int count) {
  if (count < 0 || count > kRxRingSize - 1) return kPortReadNothing;
  if (RingCount(slot) < count) return kPortReadNothing;
  int first = kRxRingSize - slot.rxRead;
  if (first > count) first = count;
  std::memcpy(dest, slot.rxRing + slot.rxRead, static_cast<size_t>(first));
  std::memcpy(dest + first, slot.rxRing, static_cast<size_t>(count - first));
  slot.rxRead = static_cast<uint16_t>((slot.rxRead + count) % kRxRingSize);
  return kPortReadTaken;
}

void RingDrop(PortSlot& slot) { slot.rxRead = slot.rxWrite; }
