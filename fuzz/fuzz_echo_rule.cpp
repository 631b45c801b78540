// The echo rule on its own, over one port slot: on a line that does not echo,
// whatever arrives after a request reaches the ring whole and in order,
// however it is cut into pieces; on a line known to echo, exactly as many
// bytes as were sent are taken off, and each one that differs is counted.
//
// Input: mode, the count of bytes sent, those bytes, then pieces (a length
// byte and that many bytes) of what arrives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "port/line_echo.h"
#include "port/port_table.h"
#include "port/rx_ring.h"

namespace {

void fail(const char* what) {
  std::fprintf(stderr, "echo rule: %s\n", what);
  std::abort();
}

std::vector<uint8_t> drain(PortSlot& slot) {
  std::vector<uint8_t> out(static_cast<size_t>(RingCount(slot)));
  if (!out.empty()) RingTake(slot, out.data(), static_cast<int>(out.size()));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static uint8_t ring[kRxRingSize];
  PortSlot& slot = PortTable.slots[0];
  std::memset(&slot, 0, sizeof slot);
  slot.rxRing = ring;
  slot.inUse = 1;
  const bool echoing = data[0] & 1;
  const size_t sentCount = data[1] % 40 + 1;
  if (size < 2 + sentCount) return 0;
  const uint8_t* sent = data + 2;

  std::vector<uint8_t> arrived;
  std::vector<std::vector<uint8_t>> pieces;
  for (size_t at = 2 + sentCount; at < size;) {
    size_t length = data[at++] % 16;
    if (length > size - at) length = size - at;
    pieces.emplace_back(data + at, data + at + length);
    arrived.insert(arrived.end(), data + at, data + at + length);
    at += length;
  }

  if (echoing) {
    // A first request comes back whole: from then on the line echoes.
    const uint8_t first[4] = {0x60, 0x01, 0x48, 0xA9};
    EchoSent(slot, first, 4);
    LineReceived(slot, first, 4);
    if (!slot.echo.echoes || RingCount(slot) != 0) fail("a whole echo was not recognised");
  } else if (arrived.size() >= sentCount && std::memcmp(arrived.data(), sent, sentCount) == 0) {
    return 0;   // the whole request came back: an echo by the rule
  }
  EchoSent(slot, sent, static_cast<int>(sentCount));
  for (const auto& piece : pieces) {
    LineReceived(slot, piece.data(), static_cast<int>(piece.size()));
  }
  EchoLetGo(slot);
  const std::vector<uint8_t> ring_bytes = drain(slot);

  if (!echoing) {
    if (ring_bytes != arrived) fail("a byte of a reply on a line without echo was lost or moved");
    return 0;
  }
  // The first sentCount bytes that arrived were the echo; the rest the reply.
  const size_t echoed = arrived.size() < sentCount ? arrived.size() : sentCount;
  uint32_t differing = 0;
  for (size_t k = 0; k < echoed; ++k) differing += arrived[k] != sent[k];
  if (slot.echo.collisions != differing) fail("collisions miscounted");
  const std::vector<uint8_t> reply(arrived.begin() + static_cast<long>(echoed), arrived.end());
  if (ring_bytes != reply) fail("the reply behind the echo was not taken whole");
  return 0;
}
