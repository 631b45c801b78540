// The journal's time stamps: local time with the offset from UTC, also where
// the local date is not the UTC date; its last line, ended before an entry.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "app/core/calibration_journal.h"
#include "tests/support/temp_dir.h"

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

// A crash can leave the last line without its end, or with only the CR of
// its CR LF: the entry after it starts on a line of its own, the bytes there
// stay, and no line ends in a lone CR or in CR CR LF (neither is CSV).
TEST(JournalFileTest, ALastLineCutShortIsEndedWithOneCrLf) {
  const std::string path = MakeTempDir("journal_file") + "/journal.csv";
  for (const std::string old : {"a,b", "a,b\r", "a,b\r\n"}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
    CalibrationJournal journal(path);
    std::string error;
    ASSERT_TRUE(journal.open(&error) && journal.append(JournalLine(), &error)) << error;
    journal.close();
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text.substr(0, 5), "a,b\r\n") << old.size();
    EXPECT_EQ(text.find('\r', 5), text.size() - 2) << old.size();
  }
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

}  // namespace
