// The select frame that opens every request: 0x60, address, function byte,
// checksum.
#include "link/frame.h"
#include "port/port.h"

void sendSelect(uint16_t port, int address, int function) {
  uint8_t frame[4] = {0x60, static_cast<uint8_t>(address), static_cast<uint8_t>(function), 0};
  // Address 0 is a point-to-point link: no select frame, only what follows it.
  if (frame[1] == 0) return;
  // Stale input (a late or partial earlier reply) must never be read as part
  // of the reply to this request.
  PortClearFor(port, "before the request");
  frame[3] = static_cast<uint8_t>(frameChecksum(frame, 3));
  PortWrite(port, frame, 4);
}
