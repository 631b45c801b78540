// The millisecond tick every wait is measured against, read from a monotonic
// clock when asked (nothing runs in the background), and 512 time-out slots
// armed and tested without allocating.
#pragma once
#include <cstdint>

constexpr int kTimerSlotCount = 512;

// While the service runs: milliseconds of the platform's monotonic clock
// (plus the test offset), wrapping modulo 2^32. Before the first start and
// after a stop: the value it had when it stopped (0 before any start), so a
// deadline armed then is never reached.
uint32_t tickNow();
// The low 16 bits of tickNow.
uint16_t tick16();

void tickStart();
void tickStop();

// First free slot from 0 upward, deadline tickNow + ms; -1 when all are used.
int timerArm(int ms);
// Frees a used slot; anything else is ignored.
void timerRelease(int slot);
// 1 when the slot is out of range, free, or its deadline has passed (the slot
// is then freed); 0 while it is armed and pending.
int timerExpired(int slot);
// New deadline tickNow + ms for a slot in range; the used mark stays.
void timerRearm(int slot, int ms);
// 1 when tickNow has reached deadline (signed 32-bit difference >= 0).
int tickReached(int32_t deadline);
// 1 when tick16 has reached deadline (signed 16-bit difference >= 0).
int tick16Reached(uint16_t deadline);

// Test seam: the tick reads the platform clock plus this offset (mod 2^32), so a
// test can start it just below the wrap. Set it before tickStart.
void tickSetClockOffset(uint32_t offset);
// Test seam: moves the stopped tick on by ms, for a harness that drives time
// by hand instead of waiting for it. Ignored while the service runs.
void tickAdvanceStopped(uint32_t ms);
