// The receive ring on its own: what an overrun keeps and drops.
#include <vector>

#include <gtest/gtest.h>

#include "port/rx_ring.h"

namespace {

class RxRingTest : public ::testing::Test {
 protected:
  void SetUp() override { slot.rxRing = memory.data(); }
  static std::vector<uint8_t> pattern(int count, int seed) {
    std::vector<uint8_t> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) v[static_cast<size_t>(i)] = static_cast<uint8_t>(seed + i * 13);
    return v;
  }
  std::vector<uint8_t> memory = std::vector<uint8_t>(kRxRingSize);
  PortSlot slot{};
};

TEST_F(RxRingTest, OverrunDropsTheNewBytesAndKeepsTheUnreadOnes) {
  slot.rxRead = slot.rxWrite = 6000;  // so the fill wraps
  std::vector<uint8_t> old = pattern(9990, 1);
  ASSERT_EQ(RingAppend(slot, old.data(), 9990), 9990);
  std::vector<uint8_t> extra = pattern(20, 200);
  EXPECT_EQ(RingAppend(slot, extra.data(), 20), 9);
  EXPECT_EQ(RingCount(slot), kRxRingSize - 1);
  EXPECT_NE(slot.rxWrite, slot.rxRead);
  EXPECT_EQ(RingAppend(slot, extra.data(), 1), 0);

  std::vector<uint8_t> all(kRxRingSize - 1);
  ASSERT_EQ(RingTake(slot, all.data(), kRxRingSize - 1), kPortReadTaken);
  std::vector<uint8_t> expected = old;
  expected.insert(expected.end(), extra.begin(), extra.begin() + 9);
  EXPECT_EQ(all, expected);
  EXPECT_EQ(RingCount(slot), 0);
}

}  // namespace
