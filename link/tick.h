// The millisecond tick every wait is measured against, refreshed by a thread
// once a millisecond, and 512 time-out slots armed and tested without allocating.
#pragma once
#include <atomic>
#include <cstdint>

constexpr int kTimerSlotCount = 512;

// Written by the tick thread only; read from the GUI thread.
extern std::atomic<uint32_t> tickNow;
extern std::atomic<uint16_t> tick16;

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
