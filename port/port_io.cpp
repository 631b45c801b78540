// The byte operations on an open port, through the table of its transport
// (port_ops.h); received bytes always pass through the slot's ring.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <vector>

#include "port/port_table.h"
#include "port/port_tap.h"
#include "port/rx_ring.h"

namespace {

// The listener PortSetTap installed: the wire trace, one for the process.
PortTap* portTap = nullptr;

// A port with a connection advances it at the start of every byte operation.
// Connections it turned away are told to the tap, so a stranger knocking
// shows in the wire trace.
void step(PortSlot& slot, uint16_t handle) {
  if (slot.ops->step == nullptr) return;
  const uint32_t connection = slot.connection;
  const int refused = slot.ops->step(slot);
  if (slot.connection != connection) EchoForget(slot);
  if (refused == 0 || !portTap) return;
  char words[96];
  std::snprintf(words, sizeof words, "closed %d connection(s) at once: one peer at a time",
                refused);
  portTap->noted(handle, slot.name, words);
}

// The open slot behind handle when its port receives at all.
PortSlot* receivingSlotOf(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  return slot != nullptr && slot->ops->receive != nullptr ? slot : nullptr;
}

// What a clear is about to drop, handed to the tap: the ring and what the
// driver or the socket holds (dropped with it anyway).
void reportDropped(PortSlot& slot, uint16_t handle, const char* why) {
  slot.ops->receive(slot);
  const int count = RingCount(slot);
  if (count <= 0) return;
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  RingTake(slot, bytes.data(), count);
  portTap->dropped(handle, slot.name, bytes.data(), count, why);
}

}  // namespace

void PortSetTap(PortTap* tap) { portTap = tap; }
PortTap* PortInstalledTap() { return portTap; }

int PortMsUntil(PortWaitClock::time_point until) {
  return static_cast<int>(
      std::chrono::ceil<std::chrono::milliseconds>(until - PortWaitClock::now()).count());
}

void PortSleepOneMs() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void PortWrite(uint16_t handle, const uint8_t* bytes, int count) {
  PortSlot* slot = PortSlotOf(handle);
  // A program ending on a signal sends nothing more.
  if (slot == nullptr || bytes == nullptr || count <= 0 || PortLayerInterrupted()) return;
  step(*slot, handle);
  if (portTap) portTap->sent(handle, slot->name, bytes, count);
  EchoSent(*slot, bytes, count);
  slot->ops->send(*slot, bytes, count);
}

void PortWriteByte(uint16_t handle, uint8_t byte) { PortWrite(handle, &byte, 1); }

int PortAvailable(uint16_t handle) {
  PortSlot* slot = receivingSlotOf(handle);
  if (slot == nullptr) return 0;
  step(*slot, handle);
  slot->ops->receive(*slot);
  EchoQuietCheck(*slot);
  return RingCount(*slot);
}

int PortRead(uint16_t handle, uint8_t* dest, int count) {
  PortSlot* slot = receivingSlotOf(handle);
  if (slot == nullptr) return kPortReadNothing;
  step(*slot, handle);
  slot->ops->receive(*slot);
  EchoQuietCheck(*slot);
  const int took = RingTake(*slot, dest, count);
  if (portTap && took == kPortReadTaken && count > 0) {
    portTap->taken(handle, slot->name, dest, count);
  }
  return took;
}

void PortWaitReadable(uint16_t handle, int ms) {
  if (ms <= 0) return;
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr) {
    PortSleepOneMs();
    return;
  }
  slot->ops->waitReadable(*slot, ms);
}

// Taking what arrived into the ring empties the driver (or the socket), so
// each wait sleeps until the next bytes instead of waking again at once.
void PortWaitFor(uint16_t handle, int count, int ms) {
  if (ms <= 0) return;
  const PortWaitClock::time_point until = PortWaitClock::now() + std::chrono::milliseconds(ms);
  PortSlot* slot = receivingSlotOf(handle);
  if (slot == nullptr) {
    if (count > 0) std::this_thread::sleep_for(until - PortWaitClock::now());  // nothing can arrive
    return;
  }
  for (;;) {
    // Bytes held back as a possible echo are let go after a quiet time: the
    // wait ends then, so that they are counted at once.
    const int release = EchoMsUntilRelease(*slot);
    PortWaitClock::time_point end = until;
    if (release >= 0) end = std::min(until, PortWaitClock::now() + std::chrono::milliseconds(release + 1));
    if (slot->ops->waitFor != nullptr) {
      slot->ops->waitFor(*slot, count, end);
    } else {
      for (;;) {
        if (PortAvailable(handle) >= count || PortLayerInterrupted()) break;
        const int left = PortMsUntil(end);
        if (left <= 0) break;
        slot->ops->waitReadable(*slot, left);
      }
    }
    if (PortAvailable(handle) >= count || PortMsUntil(until) <= 0 || PortLost(handle) ||
        PortLayerInterrupted())
      return;
  }
}

int PortTxEmpty(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  return slot == nullptr ? 1 : slot->ops->txEmpty(*slot);
}

void PortClear(uint16_t handle) { PortClearFor(handle, "unread"); }

void PortClearFor(uint16_t handle, const char* why) {
  PortSlot* slot = receivingSlotOf(handle);
  if (slot == nullptr) return;
  step(*slot, handle);
  // An echo waiting in the platform is taken off before the input goes, so
  // it is not left due against the next request's bytes.
  slot->ops->receive(*slot);
  if (portTap) reportDropped(*slot, handle, why);
  EchoInputDropped(*slot);
  RingDrop(*slot);
  // Input still in the driver or the sockets goes too.
  slot->ops->dropInput(*slot);
}

uint32_t PortConnection(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr) return 0;
  if (slot->ops->step != nullptr) {
    // A server's peer that has left is seen only by receiving from it; then
    // the next waiting connection is taken, as the next byte operation would.
    slot->ops->receive(*slot);
    step(*slot, handle);
  }
  return slot->connection;
}

int PortLost(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr) return 0;
  return PortLayerInterrupted() ? 1 : slot->ops->lost(*slot);
}

int PortEchoes(uint16_t handle) {
  const PortSlot* slot = PortSlotOf(handle);
  return slot != nullptr && slot->echo.echoes ? 1 : 0;
}

uint32_t PortEchoCollisions(uint16_t handle) {
  const PortSlot* slot = PortSlotOf(handle);
  return slot != nullptr ? slot->echo.collisions : 0;
}
