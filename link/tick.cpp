// The tick service: one thread samples the platform clock every millisecond,
// and a fixed table of time-out slots is tested against the sampled value.
#include "link/tick.h"

#include <thread>

#include "link/tick_clock.h"

std::atomic<uint32_t> tickNow{0};
std::atomic<uint16_t> tick16{0};

namespace {

// The tick thread reads these while the GUI thread writes them, so they are
// atomic rather than guarded by a lock only one side takes.
std::atomic<int32_t> running{0};
std::atomic<uint32_t> clockOffset{0};
std::thread tickThread;

struct TimerSlot {
  uint8_t used;
  int32_t deadline;  // a tickNow value
};
// Used from the GUI thread only.
TimerSlot timers[kTimerSlotCount];

void sampleTick() {
  uint32_t now = TickClockMs() + clockOffset.load();
  tickNow.store(now);
  tick16.store(static_cast<uint16_t>(now));
}

void tickLoop() {
  while (running.load() != 0) {
    TickClockPause();
    sampleTick();
  }
}

// tickNow + ms, the deadline form every comparison below expects.
int32_t deadlineAfter(int ms) {
  return static_cast<int32_t>(tickNow.load() + static_cast<uint32_t>(ms));
}

// Deadlines are compared by the sign of the difference, so they hold across
// the wrap of the clock.
bool reached(uint32_t now, int32_t deadline) {
  return static_cast<int32_t>(now - static_cast<uint32_t>(deadline)) >= 0;
}

bool validSlot(int slot) { return slot >= 0 && slot < kTimerSlotCount; }

}  // namespace

void tickSetClockOffset(uint32_t offset) { clockOffset.store(offset); }

void tickStart() {
  if (tickThread.joinable()) return;  // already running
  running.store(1);
  sampleTick();
  tickThread = std::thread(tickLoop);
  for (TimerSlot& t : timers) t = TimerSlot{0, 0};
}

void tickStop() {
  if (!tickThread.joinable()) return;
  running.store(0);
  tickThread.join();
}

int timerArm(int ms) {
  for (int i = 0; i < kTimerSlotCount; ++i) {
    if (timers[i].used) continue;
    timers[i].used = 1;
    timers[i].deadline = deadlineAfter(ms);
    return i;
  }
  return -1;
}

void timerRelease(int slot) {
  if (validSlot(slot)) timers[slot].used = 0;
}

int timerExpired(int slot) {
  if (!validSlot(slot) || !timers[slot].used) return 1;
  if (!reached(tickNow.load(), timers[slot].deadline)) return 0;
  timers[slot].used = 0;
  return 1;
}

void timerRearm(int slot, int ms) {
  if (validSlot(slot)) timers[slot].deadline = deadlineAfter(ms);
}

int tickReached(int32_t deadline) { return reached(tickNow.load(), deadline) ? 1 : 0; }

int tick16Reached(uint16_t deadline) {
  return static_cast<int16_t>(static_cast<uint16_t>(tick16.load() - deadline)) >= 0 ? 1 : 0;
}
