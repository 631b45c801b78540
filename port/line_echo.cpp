#include "port/line_echo.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "port/port_table.h"
#include "port/port_tap.h"
#include "port/rx_ring.h"

namespace {

// A request whose echo has not come this long after it was sent never will.
constexpr int kEchoLateMs = 1000;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             PortWaitClock::now().time_since_epoch())
      .count();
}

uint16_t handleOf(const PortSlot& slot) {
  return static_cast<uint16_t>(&slot - PortTable.slots + 1);
}

void note(PortSlot& slot, const char* words) {
  if (PortTap* tap = PortInstalledTap()) tap->noted(handleOf(slot), slot.name, words);
}

// Drops the first count bytes of what is still due.
void consumePending(LineEcho& e, int count) {
  e.pendingCount = static_cast<int16_t>(e.pendingCount - count);
  std::memmove(e.pending, e.pending + count, static_cast<size_t>(e.pendingCount));
}

// What was held back was not an echo: it goes to the ring ahead of what
// follows, and the request it seemed to echo was not echoed.
void releaseHeld(PortSlot& slot) {
  LineEcho& e = slot.echo;
  RingAppend(slot, e.held, e.heldCount);
  e.heldCount = 0;
  e.pendingCount = 0;
}

void receivedOnEchoingLine(PortSlot& slot, uint8_t byte) {
  LineEcho& e = slot.echo;
  if (e.pendingCount == 0) {
    RingAppend(slot, &byte, 1);
    return;
  }
  const uint8_t sent = e.pending[0];
  consumePending(e, 1);
  if (byte == sent) return;
  ++e.collisions;
  char words[96];
  std::snprintf(words, sizeof words, "collision: echo %02X of the byte sent as %02X", byte, sent);
  note(slot, words);
}

void receivedOnUnknownLine(PortSlot& slot, uint8_t byte) {
  LineEcho& e = slot.echo;
  if (e.heldCount < e.pendingCount && byte == e.pending[e.heldCount]) {
    e.held[e.heldCount++] = byte;
    e.lastHeldMs = nowMs();
    if (e.heldCount < e.pendingCount) return;
    // The whole request came back: the line echoes.
    e.echoes = 1;
    e.heldCount = 0;
    e.pendingCount = 0;
    note(slot, "the line echoes what is sent: the echo is taken off and compared");
    return;
  }
  releaseHeld(slot);
  RingAppend(slot, &byte, 1);
}

}  // namespace

void EchoSent(PortSlot& slot, const uint8_t* bytes, int count) {
  LineEcho& e = slot.echo;
  if (count <= 0) return;
  if (e.pendingCount + count > kEchoSpan) {
    // More unechoed than any request holds: the line does not echo what
    // went before, and only these bytes can still come back.
    if (!e.echoes) releaseHeld(slot);
    e.pendingCount = 0;
    if (count > kEchoSpan) {
      bytes += count - kEchoSpan;
      count = kEchoSpan;
    }
  }
  std::memcpy(e.pending + e.pendingCount, bytes, static_cast<size_t>(count));
  e.pendingCount = static_cast<int16_t>(e.pendingCount + count);
  e.lastSentMs = nowMs();
}

void LineReceived(PortSlot& slot, const uint8_t* bytes, int count) {
  if (count <= 0) return;
  // Nothing sent is due back and nothing is held: the bytes go as they are.
  if (slot.echo.pendingCount == 0 && slot.echo.heldCount == 0) {
    RingAppend(slot, bytes, count);
    return;
  }
  for (int k = 0; k < count; ++k) {
    if (slot.echo.echoes) {
      receivedOnEchoingLine(slot, bytes[k]);
    } else {
      receivedOnUnknownLine(slot, bytes[k]);
    }
  }
}

void EchoQuietCheck(PortSlot& slot) {
  LineEcho& e = slot.echo;
  if (e.heldCount > 0 && nowMs() - e.lastHeldMs >= kEchoQuietMs) releaseHeld(slot);
}

void EchoLetGo(PortSlot& slot) {
  if (slot.echo.heldCount > 0) releaseHeld(slot);
}

void EchoInputDropped(PortSlot& slot) {
  LineEcho& e = slot.echo;
  // What is held was received and goes with the rest; were it the start of
  // an echo, the rest of that echo still matches what remains due.
  consumePending(e, e.heldCount);
  e.heldCount = 0;
  if (e.pendingCount > 0 && nowMs() - e.lastSentMs >= kEchoLateMs) e.pendingCount = 0;
}

void EchoForget(PortSlot& slot) {
  const uint32_t collisions = slot.echo.collisions;
  std::memset(&slot.echo, 0, sizeof slot.echo);
  slot.echo.collisions = collisions;   // the link compares counts across requests
}

int EchoMsUntilRelease(const PortSlot& slot) {
  const LineEcho& e = slot.echo;
  if (e.heldCount == 0) return -1;
  const int64_t left = e.lastHeldMs + kEchoQuietMs - nowMs();
  return left > 0 ? static_cast<int>(left) : 0;
}
