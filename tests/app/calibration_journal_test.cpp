// The journal's time stamps: local time with the offset from UTC, also where
// the local date is not the UTC date. Its file: a last line cut short, and
// why it cannot be written, in the operator's words.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "app/catalog.h"
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

class JournalFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("journal_file");
    ASSERT_FALSE(dir_.empty());
    path_ = dir_ + "/journal.csv";
  }
  void TearDown() override {
    CatalogFree();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Text() {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string dir_, path_;
};

// A crash can leave the last line without its end, or with only the CR of
// its CR LF. The next entry starts on a line of its own, the bytes already
// there stay, and every line ends in CR LF (a CR alone, or CR CR LF, is not
// a line end in CSV).
TEST_F(JournalFileTest, ALastLineCutShortIsEndedWithOneCrLf) {
  for (const std::string old : {"a,b", "a,b\r", "a,b\r\n"}) {
    SCOPED_TRACE(old.size());
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << old;
    CalibrationJournal journal(path_);
    std::string error;
    ASSERT_TRUE(journal.open(&error)) << error;
    JournalLine line;
    line.event = "nozzle";
    line.outcome = "sending";
    ASSERT_TRUE(journal.append(line, &error)) << error;
    journal.close();
    const std::string text = Text();
    EXPECT_EQ(text.compare(0, old.size(), old), 0);
    EXPECT_EQ(text.compare(0, 5, "a,b\r\n"), 0);
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
    for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1))
      EXPECT_EQ(text[at + 1], '\n') << at;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      EXPECT_EQ(text[at - 1], '\r') << at;
    EXPECT_EQ(text.substr(text.size() - 10), ",sending\r\n");
  }
}

// What stands in the journal's place, said in the catalog's words: in
// English without a catalog, in Russian with the program's.
TEST_F(JournalFileTest, WhyItCannotBeOpenedIsSaidInTheOperatorsWords) {
  struct Case {
    const char* what;
    std::string path;
    const char* english;
    const char* russian;
  };
  const std::string folder = dir_ + "/folder", link = dir_ + "/link", fifo = dir_ + "/fifo";
  std::filesystem::create_directory(folder);
  std::filesystem::create_symlink(dir_ + "/elsewhere", link);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const Case cases[] = {
      {"a folder", folder, "a folder stands in its place", "на его месте папка"},
      {"a link", link, "a symbolic link stands in its place", "на его месте символическая ссылка"},
      {"a pipe", fifo, "not a regular file: a folder, a pipe or a device stands in its place",
       "это не обычный файл: на его месте папка, канал или устройство"},
      {"no folder", dir_ + "/none/journal.csv", "no such file or folder",
       "нет такого файла или папки"}};
  for (bool russian : {false, true}) {
    if (russian) {
#ifdef TARVO_CATALOG_DIR
      ASSERT_EQ(CatalogLoad("tarvo_6.mo", TARVO_CATALOG_DIR), 1);
#else
      GTEST_SKIP() << "the catalog is not built";
#endif
    }
    for (const Case& c : cases) {
      CalibrationJournal journal(c.path);
      std::string error;
      EXPECT_FALSE(journal.open(&error)) << c.what;
      EXPECT_EQ(error, russian ? c.russian : c.english) << c.what;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/elsewhere"));
}

}  // namespace
