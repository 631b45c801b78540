// When the link stops waiting for a reply: its time-out has passed, or the
// port's line is lost (an unplugged adapter answers nothing, ever, and
// waiting out each exchange's time-out would only freeze the window).
#pragma once
#include <cstdint>

#include "clock/timer_slot.h"
#include "port/port.h"

// 1 when the reply will not come; the slot is then given back.
inline int replyAbandoned(int16_t& slot, int port) {
  if (PortLost(static_cast<uint16_t>(port))) {
    if (slot >= 0) slotRelease(slot);
    return 1;
  }
  return slotExpired(slot);
}
