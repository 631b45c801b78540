// The tick service: the counter is the platform clock read at the moment it
// is asked for, so nothing has to wake up to keep it fresh; a fixed table of
// time-out slots is tested against it.
#include "clock/tick.h"

#include <atomic>

#include "clock/tick_clock.h"

namespace {

// Readers may sit on any thread (tests watch the tick from helper threads),
// so the state that says what tickNow returns is atomic.
std::atomic<bool> running{false};
std::atomic<uint32_t> clockOffset{0};
std::atomic<uint32_t> frozenAt{0};  // tickNow while stopped

struct TimerSlot {
  uint8_t used;
  int32_t deadline;  // a tickNow value
};
// Used from the GUI thread only.
TimerSlot timers[kTimerSlotCount];

uint32_t clockNow() { return TickClockMs() + clockOffset.load(); }

// tickNow + ms, the deadline form every comparison below expects.
int32_t deadlineAfter(int ms) { return static_cast<int32_t>(tickNow() + static_cast<uint32_t>(ms)); }

// Deadlines are compared by the sign of the difference, so they hold across
// the wrap of the clock.
bool reached(uint32_t now, int32_t deadline) {
  return static_cast<int32_t>(now - static_cast<uint32_t>(deadline)) >= 0;
}

bool validSlot(int slot) { return slot >= 0 && slot < kTimerSlotCount; }

}  // namespace

uint32_t tickNow() { return running.load() ? clockNow() : frozenAt.load(); }

uint16_t tick16() { return static_cast<uint16_t>(tickNow()); }

void tickSetClockOffset(uint32_t offset) { clockOffset.store(offset); }

void tickAdvanceStopped(uint32_t ms) {
  if (!running.load()) frozenAt.fetch_add(ms);
}

void tickStart() {
  if (running.load()) return;  // already running: the slots stay as they are
  for (TimerSlot& t : timers) t = TimerSlot{0, 0};
  running.store(true);
}

void tickStop() {
  if (!running.load()) return;
  frozenAt.store(clockNow());
  running.store(false);
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
  if (!reached(tickNow(), timers[slot].deadline)) return 0;
  timers[slot].used = 0;
  return 1;
}

void timerRearm(int slot, int ms) {
  if (validSlot(slot)) timers[slot].deadline = deadlineAfter(ms);
}

int tickReached(int32_t deadline) { return reached(tickNow(), deadline) ? 1 : 0; }

int tick16Reached(uint16_t deadline) {
  return static_cast<int16_t>(static_cast<uint16_t>(tick16() - deadline)) >= 0 ? 1 : 0;
}
