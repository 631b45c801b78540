// The serial line's table of operations, over the device calls each platform
// implements (serial_device.h).
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

#include "port/port_ops.h"
#include "port/port_table.h"
#include "port/rx_ring.h"
#include "port/serial_device.h"

namespace {

int serialOpen(PortSlot& slot, const char* name, PortOpenFailure* failure) {
  const int status = SerialOpen(name, &slot.serial.device);
  if (status != 0) *failure = SerialOpenFailure(status);
  return status;
}

// A lost line's device is closed already.
void serialClose(PortSlot& slot) {
  if (!slot.serial.lineLost) SerialClose(slot.serial.device);
}

// A serial line that hung up or failed is closed at once: a dead device
// would otherwise answer every wait at once (spinning the caller) and every
// exchange would sit out its whole time-out.
bool serialLive(PortSlot& slot) {
  // A program ending on a signal takes every line for lost; the device stays
  // open until PortClose releases it.
  if (slot.serial.lineLost || PortLayerInterrupted()) return false;
  if (!SerialLineLost(slot.serial.device)) return true;
  SerialClose(slot.serial.device);
  slot.serial.device = -1;
  slot.serial.lineLost = 1;
  return false;
}

// Moves what the driver holds into the ring. Bytes beyond the ring's room
// are dropped (the ring keeps what is unread).
void serialTakeIn(PortSlot& slot) {
  int waiting = SerialInputCount(slot.serial.device);
  if (waiting <= 0) return;
  std::vector<uint8_t> buffer(static_cast<size_t>(waiting));
  int got = SerialRead(slot.serial.device, buffer.data(), waiting);
  LineReceived(slot, buffer.data(), got);
}

void serialReceive(PortSlot& slot) {
  if (serialLive(slot)) serialTakeIn(slot);
}

void serialSend(PortSlot& slot, const uint8_t* bytes, int count) {
  if (serialLive(slot)) SerialWrite(slot.serial.device, bytes, count);
}

void serialDropInput(PortSlot& slot) {
  if (serialLive(slot)) SerialDropInput(slot.serial.device);
}

int serialTxEmpty(PortSlot& slot) {
  if (!serialLive(slot)) return 1;
  return SerialOutputCount(slot.serial.device) == 0 ? 1 : 0;
}

int serialLost(PortSlot& slot) { return serialLive(slot) ? 0 : 1; }

// Sleeps on the line, a slice at a time, until bytes arrive or ms have
// passed, and moves what arrives into the ring. false when the wait found the
// line hung up; the next look closes it.
bool serialWaitIn(PortSlot& slot, int ms) {
  const PortWaitClock::time_point until = PortWaitClock::now() + std::chrono::milliseconds(ms);
  uint8_t buffer[256];
  const int room = static_cast<int>(sizeof buffer);
  for (int left = ms; left > 0 && !PortLayerInterrupted(); left = PortMsUntil(until)) {
    const int got =
        SerialReadWaiting(slot.serial.device, buffer, room, std::min(left, kPortWaitSliceMs));
    if (got < 0) return false;
    if (got > 0) {
      LineReceived(slot, buffer, got);
      return true;
    }
  }
  return true;
}

void serialWaitReadable(PortSlot& slot, int ms) {
  if (!serialLive(slot)) {
    PortSleepOneMs();
    return;
  }
  // A hang-up during the wait ends it at once: look again, so the next
  // wait sleeps instead of returning at once again.
  if (!serialWaitIn(slot, ms)) serialLive(slot);
}

// The line's own wait tells of a hang-up, so the line is looked at once and
// then only when a wait ends on one: each arriving byte costs one wait that
// reads it.
void serialWaitFor(PortSlot& slot, int count, PortWaitClock::time_point until) {
  bool live = serialLive(slot);
  if (live) serialTakeIn(slot);
  while (live) {
    if (RingCount(slot) >= count) return;
    const int left = PortMsUntil(until);
    if (left <= 0) return;
    // A signal cuts the wait short (EINTR): PortLayerInterrupt may have come.
    if (!serialWaitIn(slot, left) || PortLayerInterrupted()) live = serialLive(slot);
  }
}

}  // namespace

const PortOps kSerialPortOps = {
    PortKind::Serial,
    serialOpen,
    serialClose,
    nullptr,  // a line has no connection to advance
    serialReceive,
    serialSend,
    serialDropInput,
    serialTxEmpty,
    serialLost,
    serialWaitReadable,
    serialWaitFor,
};
