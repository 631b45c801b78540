// How the link holds its time-out slots. A field holds -1 whenever it owns no
// slot, so a slot that expired or was released (and may since have been handed
// to another exchange) is never tested or released again through a stale index.
#pragma once
#include <cstdint>

#include "clock/tick.h"

// Arms ms in a fresh slot, giving back any slot the field still holds (a
// request repeated without collecting its reply would otherwise leak one).
inline void slotArm(int16_t& slot, int ms) {
  if (slot >= 0) timerRelease(slot);
  slot = static_cast<int16_t>(timerArm(ms));
}

// 1 when the deadline has passed (or no slot could be had); the field then
// owns nothing.
inline int slotExpired(int16_t& slot) {
  if (!timerExpired(slot)) return 0;
  slot = -1;
  return 1;
}

inline void slotRelease(int16_t& slot) {
  timerRelease(slot);
  slot = -1;
}
