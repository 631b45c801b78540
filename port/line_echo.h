// A line that gives back what the tool sends: a 2-wire adapter that keeps its
// receiver on, a converter on such a line. Every byte received passes here
// on its way into the ring, and every byte sent is remembered until its echo
// comes, so the echo never reaches the link as a reply.
//
// The rule:
//   - A line is taken to echo once the bytes that came after a request are,
//     byte for byte, the whole of what was sent since the input was last
//     dropped. From then on (until the port closes or connects anew) as many
//     bytes as were sent are taken off the front of what arrives, each
//     compared with the byte sent: one that differs is a collision, counted
//     for the link, which fails its exchange.
//   - Until then, bytes that match the start of what was sent are held back,
//     not dropped: a reply that merely begins as the request did goes to the
//     ring whole as soon as a byte differs, or when nothing more arrived for
//     kEchoQuietMs (longer than a USB adapter holds a burst back), so no
//     byte of a real reply is ever lost.
#pragma once
#include <cstdint>

struct PortSlot;

// Longer than two byte times at 4800 baud plus the 32 ms that a USB adapter
// may hold received bytes back, plus a tick.
constexpr int kEchoQuietMs = 40;
// What the tool may have sent and not yet seen echoed: the longest request
// (select frame, header, a 255-byte body) with room to spare.
constexpr int kEchoSpan = 600;

struct LineEcho {
  uint8_t echoes;           // 1 once a whole request came back
  int16_t pendingCount;     // sent bytes whose echo is still due
  int16_t heldCount;        // received bytes that match pending's start so far
  uint8_t pending[kEchoSpan];
  uint8_t held[kEchoSpan];
  int64_t lastSentMs;       // steady clock, when the last bytes were sent
  int64_t lastHeldMs;       // when the last byte was held back
  uint32_t collisions;      // echoed bytes that differed from the byte sent
};

// The bytes about to be sent.
void EchoSent(PortSlot& slot, const uint8_t* bytes, int count);
// Bytes the transport received: the echo is taken off, the rest goes to the
// ring.
void LineReceived(PortSlot& slot, const uint8_t* bytes, int count);
// Lets held-back bytes go to the ring once the line has been quiet behind
// them; called before the ring is counted or taken.
void EchoQuietCheck(PortSlot& slot);
// The line was quiet long enough: what is held was no echo, and goes to the
// ring.
void EchoLetGo(PortSlot& slot);
// The ring is about to be dropped: an echo still due of bytes sent long ago
// will not come any more.
void EchoInputDropped(PortSlot& slot);
// The port reaches another peer: what the last one did says nothing.
void EchoForget(PortSlot& slot);
// Milliseconds until held-back bytes are let go; -1 when none are held.
int EchoMsUntilRelease(const PortSlot& slot);
