#include "util/parse_fixed.h"
#include "util/all_bytes_equal.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseFixed, ScalesByTheDecimalsAndDropsExtraDigits) {
  EXPECT_EQ(ParseFixed("-1.5", 3), -1500);
  EXPECT_EQ(ParseFixed("2,25", 1), 22);
  EXPECT_EQ(ParseFixed("7", 2), 700);
  EXPECT_EQ(ParseFixed("12.9", 0), 12);
  EXPECT_EQ(ParseFixed("10.05", 3), 10050);
  EXPECT_EQ(ParseFixed("3.", 2), 300);
  EXPECT_EQ(ParseFixed("-0,5", 1), -5);
  EXPECT_EQ(ParseFixed("12.9", -1), 12);
  EXPECT_EQ(ParseFixed("", 2), 0);
  EXPECT_EQ(ParseFixed(nullptr, 2), 0);
}

// Too many digits for 32 bits wrap instead of being undefined (UBSan
// watches this test).
TEST(ParseFixed, OverlongTextWrapsModulo32Bits) {
  EXPECT_EQ(ParseFixed("4294967296", 0), 0);
  EXPECT_EQ(ParseFixed("4294967297", 3), 1000);
  EXPECT_EQ(ParseFixed("-2147483648", 0), INT32_MIN);
}

TEST(AllBytesEqual, TellsARunOfOneByte) {
  const uint8_t run[] = {0x11, 0x11, 0x11, 0x11};
  const uint8_t broken[] = {0x11, 0x11, 0x11, 0x10};
  EXPECT_EQ(AllBytesEqual(run, 0, 0x22), 1);
  EXPECT_EQ(AllBytesEqual(nullptr, 0, 0x11), 1);
  EXPECT_EQ(AllBytesEqual(run, 4, 0x11), 1);
  EXPECT_EQ(AllBytesEqual(broken, 4, 0x11), 0);
  EXPECT_EQ(AllBytesEqual(broken, 3, 0x11), 1);
  EXPECT_EQ(AllBytesEqual(run, -1, 0x11), 0);
}

}  // namespace
