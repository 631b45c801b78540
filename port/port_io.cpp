// The byte operations on an open port. Each dispatches on the slot's kind;
// received bytes always pass through the slot's ring, filled by PortPoll.
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <vector>

#include "port/port_table.h"
#include "port/port_tap.h"
#include "port/rx_ring.h"
#include "port/serial_device.h"
#include "port/tcp_transport.h"

namespace {

bool isTcp(const PortSlot& slot) {
  return slot.kind == PortKind::TcpClient || slot.kind == PortKind::TcpServer;
}

// The TCP ports advance their connection (client) or take a waiting peer
// (server) at the start of every byte operation. Connections a server turned
// away are told to the tap, so a stranger knocking shows in the wire trace.
void tcpStep(PortSlot& slot, uint16_t handle) {
  if (slot.kind == PortKind::TcpClient) TcpConnectStep(slot);
  if (slot.kind != PortKind::TcpServer) return;
  TcpAcceptStep(slot);
  if (slot.refusedPeers == 0) return;
  if (portTap) {
    char words[96];
    std::snprintf(words, sizeof words, "closed %d connection(s) at once: one peer at a time",
                  static_cast<int>(slot.refusedPeers));
    portTap->noted(handle, slot.name, words);
  }
  slot.refusedPeers = 0;
}

// A serial line that hung up or failed is closed at once: a dead device
// would otherwise answer every wait at once (spinning the caller) and every
// exchange would sit out its whole time-out.
bool serialLive(PortSlot& slot) {
  if (slot.kind != PortKind::Serial) return true;
  if (slot.lineLost || PortLayerInterrupted()) return false;
  if (!SerialLineLost(slot.osHandle)) return true;
  SerialClose(slot.osHandle);
  slot.osHandle = -1;
  slot.lineLost = 1;
  return false;
}

// Moves what the driver holds into the ring. Bytes beyond the ring's room
// are dropped (the ring keeps what is unread).
void serialTakeIn(PortSlot& slot) {
  int waiting = SerialInputCount(slot.osHandle);
  if (waiting <= 0) return;
  std::vector<uint8_t> buffer(static_cast<size_t>(waiting));
  int got = SerialRead(slot.osHandle, buffer.data(), waiting);
  RingAppend(slot, buffer.data(), got);
}

void serialPoll(PortSlot& slot) {
  if (serialLive(slot)) serialTakeIn(slot);
}

using WaitClock = std::chrono::steady_clock;

// Whole milliseconds still to wait, rounded up so no wait ends early.
int msUntil(WaitClock::time_point until) {
  return static_cast<int>(
      std::chrono::ceil<std::chrono::milliseconds>(until - WaitClock::now()).count());
}

// The line's own wait tells of a hang-up, so the line is looked at once and
// then only when a wait ends on one: each arriving byte costs the wait, the
// count and the read.
void serialWaitFor(PortSlot& slot, int count, WaitClock::time_point until) {
  bool live = serialLive(slot);
  while (live) {
    serialTakeIn(slot);
    if (RingCount(slot) >= count) return;
    const int left = msUntil(until);
    if (left <= 0) return;
    // A signal cuts the wait short (EINTR): PortLayerInterrupt may have come.
    if (!SerialWaitReadable(slot.osHandle, left) || PortLayerInterrupted()) live = serialLive(slot);
  }
}

// Moves whatever the OS holds for the port into its ring.
void PortPoll(PortSlot& slot) {
  if (slot.kind == PortKind::Serial) serialPoll(slot);
  if (isTcp(slot)) TcpReceive(slot);
}

// What a clear is about to drop, handed to the tap: the ring and what the
// driver or the socket holds (dropped with it anyway).
void reportDropped(PortSlot& slot, uint16_t handle, const char* why) {
  PortPoll(slot);
  const int count = RingCount(slot);
  if (count <= 0) return;
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  RingTake(slot, bytes.data(), count);
  portTap->dropped(handle, slot.name, bytes.data(), count, why);
}

}  // namespace

PortTap* portTap = nullptr;

void PortWrite(uint16_t handle, const uint8_t* bytes, int count) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr || bytes == nullptr || count <= 0) return;
  tcpStep(*slot, handle);
  if (portTap) portTap->sent(handle, slot->name, bytes, count);
  if (slot->kind == PortKind::Serial && serialLive(*slot)) {
    SerialWrite(slot->osHandle, bytes, count);
  }
  if (isTcp(*slot) && !PortLayerInterrupted()) TcpSend(*slot, bytes, count);
}

void PortWriteByte(uint16_t handle, uint8_t byte) { PortWrite(handle, &byte, 1); }

int PortAvailable(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr || slot->kind == PortKind::Stub) return 0;
  tcpStep(*slot, handle);
  PortPoll(*slot);
  return RingCount(*slot);
}

int PortRead(uint16_t handle, uint8_t* dest, int count) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr || slot->kind == PortKind::Stub) return kPortReadNothing;
  tcpStep(*slot, handle);
  PortPoll(*slot);
  const int took = RingTake(*slot, dest, count);
  if (portTap && took == kPortReadTaken && count > 0) {
    portTap->taken(handle, slot->name, dest, count);
  }
  return took;
}

void PortWaitReadable(uint16_t handle, int ms) {
  if (ms <= 0) return;
  PortSlot* slot = PortSlotOf(handle);
  if (slot != nullptr && slot->kind == PortKind::Serial && serialLive(*slot)) {
    SerialWaitReadable(slot->osHandle, ms);
    // A hang-up during the wait ends it at once: look again, so the next
    // wait sleeps instead of returning at once again.
    serialLive(*slot);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Taking what arrived into the ring empties the driver (or the socket), so
// each wait sleeps until the next bytes instead of waking again at once.
void PortWaitFor(uint16_t handle, int count, int ms) {
  if (ms <= 0) return;
  const WaitClock::time_point until = WaitClock::now() + std::chrono::milliseconds(ms);
  PortSlot* slot = PortSlotOf(handle);
  if (slot != nullptr && slot->kind == PortKind::Serial) {
    serialWaitFor(*slot, count, until);
    return;
  }
  if (slot != nullptr && isTcp(*slot)) {
    while (PortAvailable(handle) < count && msUntil(until) > 0 && !PortLayerInterrupted()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return;
  }
  if (count > 0) std::this_thread::sleep_for(until - WaitClock::now());  // nothing can arrive
}

int PortTxEmpty(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr || slot->kind != PortKind::Serial || !serialLive(*slot)) return 1;
  return SerialOutputCount(slot->osHandle) == 0 ? 1 : 0;
}

void PortClear(uint16_t handle) { PortClearFor(handle, "unread"); }

void PortClearFor(uint16_t handle, const char* why) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr || slot->kind == PortKind::Stub) return;
  tcpStep(*slot, handle);
  if (portTap) reportDropped(*slot, handle, why);
  RingDrop(*slot);
  // Input still in the driver or the sockets goes too.
  if (slot->kind == PortKind::Serial && serialLive(*slot)) SerialDropInput(slot->osHandle);
  if (isTcp(*slot)) TcpDropInput(*slot);
}

uint32_t PortConnection(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr) return 0;
  if (isTcp(*slot)) {
    // A server's peer that has left is seen only by receiving from it; then
    // the next waiting connection is taken, as the next byte operation would.
    PortPoll(*slot);
    tcpStep(*slot, handle);
  }
  return slot->connection;
}

int PortLost(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot == nullptr) return 0;
  if (PortLayerInterrupted()) return 1;
  return serialLive(*slot) ? 0 : 1;
}
