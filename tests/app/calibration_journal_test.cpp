// The journal's time stamps: local time with the offset from UTC, also where
// the local date is not the UTC date.
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "app/core/calibration_journal.h"

namespace {

class ZoneTest : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
  static void Zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
};

constexpr std::time_t kLastEveningOf2026 = 1798754400;   // 2026-12-31T22:00:00Z

TEST_F(ZoneTest, OffsetsEastWestAndAcrossTheYearsEnd) {
  Zone("UTC0");
  EXPECT_EQ(JournalTime(kLastEveningOf2026), "2026-12-31T22:00:00+00:00");
  Zone("MSK-3");
  EXPECT_EQ(JournalTime(kLastEveningOf2026), "2027-01-01T01:00:00+03:00");
  Zone("IST-5:30");
  EXPECT_EQ(JournalTime(kLastEveningOf2026), "2027-01-01T03:30:00+05:30");
  Zone("NST+3:30");
  EXPECT_EQ(JournalTime(kLastEveningOf2026), "2026-12-31T18:30:00-03:30");
  EXPECT_EQ(JournalTime(kLastEveningOf2026 + 3 * 3600), "2026-12-31T21:30:00-03:30");
  Zone("HST+10");
  EXPECT_EQ(JournalTime(kLastEveningOf2026 - 23 * 3600), "2026-12-30T13:00:00-10:00");
}

}  // namespace
