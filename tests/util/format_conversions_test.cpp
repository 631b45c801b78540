#include "util/format_conversions.h"

#include <gtest/gtest.h>

TEST(SameFormatConversions, WordsFlagsAndWidthsMayDiffer) {
  EXPECT_TRUE(SameFormatConversions("vol. %2d.%02d", "объём %d.%2d"));
  EXPECT_TRUE(SameFormatConversions("* %f", "*%.3f"));
  EXPECT_TRUE(SameFormatConversions("Open Port", "Открыть порт"));
  EXPECT_TRUE(SameFormatConversions("100%% done %d", "%d: 100%%"));
}

TEST(SameFormatConversions, ArgumentsThatWouldBeReadDifferentlyDiffer) {
  EXPECT_FALSE(SameFormatConversions("Nozzle %d", "Nozzle %s"));
  EXPECT_FALSE(SameFormatConversions("%d %02d.%02d.%02d", "%d %02d.%02d"));
  EXPECT_FALSE(SameFormatConversions("%d", "%ld"));
  EXPECT_FALSE(SameFormatConversions("%d", "%*d"));
  EXPECT_FALSE(SameFormatConversions("%d.%d", "%2$d.%1$d"));
  EXPECT_FALSE(SameFormatConversions("Open Port", "%n"));
  EXPECT_FALSE(SameFormatConversions("%d", "%"));
  EXPECT_FALSE(SameFormatConversions("%d", nullptr));
}
