// The tick service: the counter read from the clock while it runs and frozen
// otherwise, time-out slots and deadline tests, including a real wrap of the
// 32-bit and 16-bit clocks.
#include <cstdint>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "clock/tick_clock.h"
#include "tests/support/wait_until.h"

namespace {

class TickTest : public ::testing::Test {
 protected:
  void TearDown() override {
    tickStop();
    tickSetClockOffset(0);
  }
  // Starts the clock so that tickNow reads msBeforeWrap below 2^32.
  static void startJustBeforeWrap(uint32_t msBeforeWrap) {
    tickSetClockOffset(static_cast<uint32_t>(0u - msBeforeWrap - TickClockMs()));
    tickStart();
  }
};

// tickReached of the current tick and of the next millisecond, taken within
// one millisecond of the clock (retried when the clock moves in between).
struct NowAndNext {
  int now;
  int next;
};
NowAndNext reachedNowAndNext() {
  for (;;) {
    const uint32_t n = tickNow();
    NowAndNext r{tickReached(static_cast<int32_t>(n)), tickReached(static_cast<int32_t>(n + 1))};
    if (tickNow() == n) return r;
  }
}

TEST_F(TickTest, TickIsTheClockWhileRunningAndFrozenOtherwise) {
  tickStart();
  // Read when asked: the clock's own millisecond, not an older sample.
  for (int i = 0; i < 1000; ++i) {
    const uint32_t before = TickClockMs();
    const uint32_t tick = tickNow();
    const uint16_t low = tick16();
    const uint32_t after = TickClockMs();
    ASSERT_LE(tick - before, after - before) << "tick " << tick << " outside " << before << ".." << after;
    ASSERT_LE(static_cast<uint16_t>(low - before), after - before) << "tick16 " << low;
  }

  tickStop();
  const uint32_t frozen = tickNow();
  EXPECT_FALSE(waitUntil([&] { return tickNow() != frozen || tick16() != uint16_t(frozen); }, 20));
  // A time-out armed while the service stands still never ends by itself.
  const int slot = timerArm(5);
  EXPECT_FALSE(waitUntil([&] { return timerExpired(slot) == 1; }, 30));
  tickAdvanceStopped(4);
  EXPECT_EQ(tickNow(), frozen + 4);
  EXPECT_EQ(timerExpired(slot), 0);
  tickAdvanceStopped(1);
  EXPECT_EQ(timerExpired(slot), 1);
  tickStop();  // nothing left to stop

  tickStart();
  tickAdvanceStopped(100000);  // only a stopped tick is moved by hand
  EXPECT_LT(static_cast<int32_t>(tickNow() - TickClockMs()), 1000);
}

TEST_F(TickTest, SecondStartKeepsTheArmedSlots) {
  tickStart();
  const int slot = timerArm(60000);
  tickStart();
  EXPECT_EQ(timerExpired(slot), 0);
  EXPECT_EQ(timerArm(60000), slot + 1);
}

TEST_F(TickTest, SlotsOutOfRangeOrFreeCountAsExpired) {
  tickStart();
  EXPECT_EQ(timerExpired(-1), 1);
  EXPECT_EQ(timerExpired(600), 1);
  EXPECT_EQ(timerExpired(kTimerSlotCount), 1);
  EXPECT_EQ(timerExpired(3), 1);  // never armed
  timerRelease(-1);
  timerRelease(600);
  timerRearm(-1, 5);
  timerRearm(600, 5);
}

TEST_F(TickTest, ExpiredSlotFreesItself) {
  tickStart();
  int slot = timerArm(0);
  ASSERT_EQ(slot, 0);
  EXPECT_EQ(timerExpired(slot), 1);
  EXPECT_EQ(timerExpired(slot), 1);
  EXPECT_EQ(timerArm(60000), 0);  // the slot was given back

  int waiting = timerArm(30);
  ASSERT_EQ(waiting, 1);
  EXPECT_EQ(timerExpired(waiting), 0);
  EXPECT_TRUE(waitUntil([&] { return timerExpired(waiting) == 1; }));
  EXPECT_EQ(timerArm(60000), 1);
}

TEST_F(TickTest, RearmMovesTheDeadlineAndReleaseFreesTheSlot) {
  tickStart();
  int slot = timerArm(60000);
  EXPECT_EQ(timerExpired(slot), 0);
  timerRearm(slot, 0);
  EXPECT_EQ(timerExpired(slot), 1);

  slot = timerArm(0);
  timerRearm(slot, 60000);
  EXPECT_EQ(timerExpired(slot), 0);
  timerRelease(slot);
  EXPECT_EQ(timerArm(60000), slot);
}

TEST_F(TickTest, AllSlotsTakenMakesArmFailUntilOneIsFreed) {
  tickStart();
  for (int i = 0; i < kTimerSlotCount; ++i) ASSERT_EQ(timerArm(60000), i);
  EXPECT_EQ(timerArm(60000), -1);
  EXPECT_EQ(timerExpired(-1), 1);  // what every caller then sees
  timerRelease(300);
  EXPECT_EQ(timerArm(60000), 300);
  EXPECT_EQ(timerArm(60000), -1);
  tickStop();
  tickStart();  // a start frees every slot
  EXPECT_EQ(timerArm(60000), 0);
}

TEST_F(TickTest, DeadlinesHoldAcrossTheWrapOfBothClocks) {
  startJustBeforeWrap(200);
  uint32_t before = tickNow();
  ASSERT_GT(before, 0xFFFFF000u);  // really just below the wrap
  EXPECT_EQ(tickReached(static_cast<int32_t>(before)), 1);
  EXPECT_EQ(tickReached(static_cast<int32_t>(before + 7000)), 0);
  NowAndNext high = reachedNowAndNext();
  EXPECT_EQ(high.now, 1);
  EXPECT_EQ(high.next, 0);

  // Deadlines that lie beyond the wrap, set while the clock is still high.
  const int32_t deadline = static_cast<int32_t>(before + 700);
  const uint16_t deadline16 = static_cast<uint16_t>(tick16() + 700);
  const int slot = timerArm(700);
  ASSERT_LT(static_cast<uint32_t>(deadline), before);  // the sum wrapped
  ASSERT_LT(deadline16, tick16());

  ASSERT_TRUE(waitUntil([] { return tickNow() < 0x80000000u; }, 2000)) << "no wrap";
  uint32_t after = tickNow();
  if (after < static_cast<uint32_t>(deadline) - 20) {
    // Wrapped but not yet due: a plain unsigned comparison would say due.
    EXPECT_EQ(tickReached(deadline), 0);
    EXPECT_EQ(tick16Reached(deadline16), 0);
    EXPECT_EQ(timerExpired(slot), 0);
  }
  EXPECT_EQ(tickReached(static_cast<int32_t>(before)), 1);
  EXPECT_EQ(tick16Reached(static_cast<uint16_t>(before)), 1);
  NowAndNext low = reachedNowAndNext();
  EXPECT_EQ(low.now, 1);
  EXPECT_EQ(low.next, 0);

  EXPECT_TRUE(waitUntil([&] { return tickReached(deadline) == 1; }, 2000));
  EXPECT_TRUE(waitUntil([&] { return tick16Reached(deadline16) == 1; }, 2000));
  EXPECT_TRUE(waitUntil([&] { return timerExpired(slot) == 1; }, 2000));
  EXPECT_EQ(tickReached(static_cast<int32_t>(tickNow() + 1000)), 0);
}

}  // namespace
