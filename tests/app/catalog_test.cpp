#include "app/catalog/catalog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// Each test starts from no catalog, in a folder of its own (the "language"),
// with catalogs that the real msgfmt made from catalogs/*.po at build time
// (beside the test, in both byte orders).
class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CatalogFree();
    dir = MakeTempDir("catalog_test");
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    CatalogFree();
    for (const std::string& f : files) unlink((dir + "/" + f).c_str());
    rmdir(dir.c_str());
  }

  void WriteFile(const std::string& name, const void* data, size_t size) {
    files.push_back(name);
    FILE* f = fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(data, 1, size, f), size);
    fclose(f);
  }
  void WriteFile(const std::string& name, const Bytes& b) { WriteFile(name, b.data(), b.size()); }

  // Places the msgfmt catalog made from catalogs/<po>.po as name.mo and
  // returns the file's bytes.
  Bytes Msgfmt(const std::string& name, const char* po, bool bigEndian = false) {
    Bytes b;
    std::string made = std::string("catalogs/") + po + (bigEndian ? "_big.mo" : "_little.mo");
    FILE* f = fopen(made.c_str(), "rb");
    EXPECT_NE(f, nullptr) << made;
    if (!f) return b;
    int c;
    while ((c = fgetc(f)) != EOF) b.push_back(uint8_t(c));
    fclose(f);
    WriteFile(name + ".mo", b);
    return b;
  }

  int Load(const std::string& name) { return CatalogLoad(name.c_str(), dir.c_str()); }

  std::string dir;
  std::vector<std::string> files;
};

void ExpectTranslated() {
  EXPECT_STREQ(tr("Abort"), "Прервать");
  EXPECT_STREQ(tr("About"), "О программе");
  EXPECT_STREQ(tr("Add"), "Добавить");
  EXPECT_STREQ(tr("Address"), "Адрес");
  EXPECT_STREQ(tr("Read"), "Чтение");
  EXPECT_STREQ(tr("Write"), "Запись");
  EXPECT_STREQ(tr("tarvo_6"), "Тарво-6");
}

// A 32-bit field of a catalog, in the catalog's own byte order.
uint32_t Get32(const Bytes& b, size_t at, bool big) {
  uint32_t v = 0;
  for (int k = 0; k < 4; k++) v |= uint32_t(b[at + k]) << (big ? 24 - 8 * k : 8 * k);
  return v;
}
void Put32(Bytes& b, size_t at, uint32_t v, bool big) {
  for (int k = 0; k < 4; k++) b[at + k] = uint8_t(v >> (big ? 24 - 8 * k : 8 * k));
}

TEST_F(CatalogTest, BigEndianTwinTranslatesTheSame) {
  Bytes little = Msgfmt("little", "ru");
  Bytes big = Msgfmt("big", "ru", true);
  ASSERT_EQ(little[0], 0xDE);  // the twins really differ in byte order
  ASSERT_EQ(big[0], 0x95);
  ASSERT_EQ(Load("little.mo"), 1);
  ExpectTranslated();
  ASSERT_EQ(Load("big.mo"), 1);
  ExpectTranslated();
}

TEST_F(CatalogTest, UnknownIdsAnswerThemselves) {
  const char* unknown[] = {"Zebra", "Adds", "Ab", "A", "Reader", "\x7f", "\xC3\x84rger", "\xFF"};
  for (const char* id : unknown) EXPECT_EQ(tr(id), id) << "without a catalog";
  Msgfmt("ru", "ru");
  ASSERT_EQ(Load("ru.mo"), 1);
  // Ids sharing a first byte are told apart; an id whose first byte has no
  // entry, or whose first byte is 0x80 or above, is answered with itself,
  // even when the catalog holds it.
  for (const char* id : unknown) EXPECT_EQ(tr(id), id) << id;
  EXPECT_EQ(tr(nullptr), nullptr);
  EXPECT_EQ(strncmp(tr(""), "Content-Type", 12), 0);  // the header entry
  ExpectTranslated();
  EXPECT_EQ(tr("Read"), tr("Read"));  // the catalog's own string, not a copy
}

TEST_F(CatalogTest, SecondLoadReplacesFailedLoadKeeps) {
  Msgfmt("ru", "ru");
  Msgfmt("other", "other");
  const char shortFile[] = "\xDE\x12\x04\x95";
  WriteFile("short.mo", shortFile, 4);
  Bytes notCatalog(64, 'x');
  WriteFile("text.mo", notCatalog);

  ASSERT_EQ(Load("ru.mo"), 1);
  EXPECT_EQ(Load("missing.mo"), -1);
  EXPECT_EQ(CatalogLoad("ru.mo", (dir + "/nowhere").c_str()), -1);
  EXPECT_EQ(Load("short.mo"), -2);
  EXPECT_EQ(Load("text.mo"), -3);
  ExpectTranslated();

  ASSERT_EQ(Load("other.mo"), 1);
  EXPECT_STREQ(tr("Write"), "Записать");
  EXPECT_STREQ(tr("Read"), "Read");
  CatalogFree();
  EXPECT_STREQ(tr("Write"), "Write");
}

// Every truncation of a real catalog cuts into the strings or the tables and
// is refused; the catalog loaded before stays.
TEST_F(CatalogTest, TruncatedCatalogIsRefused) {
  for (bool big : {false, true}) {
    Bytes full = Msgfmt("ru", "ru", big);
    ASSERT_EQ(Load("ru.mo"), 1);
    for (size_t size = 0; size < full.size(); size++) {
      WriteFile("cut.mo", full.data(), size);
      int result = Load("cut.mo");
      EXPECT_EQ(result, size < 28 ? -2 : -4) << "size " << size << " big " << big;
    }
    ExpectTranslated();
  }
}

TEST_F(CatalogTest, CountsOffsetsAndLengthsBeyondTheFileAreRefused) {
  for (bool big : {false, true}) {
    const Bytes good = Msgfmt("ru", "ru", big);
    ASSERT_EQ(Load("ru.mo"), 1);
    const uint32_t n = Get32(good, 8, big);
    const uint32_t ids = Get32(good, 12, big);
    const uint32_t translations = Get32(good, 16, big);
    struct Damage {
      const char* what;
      size_t at;
      uint32_t value;
    } damages[] = {
        {"absurd count", 8, 0xFFFFFFFF},
        {"count one too many", 8, n + 1},
        {"id table beyond the end", 12, uint32_t(good.size())},
        {"id table wrapping 32 bits", 12, 0xFFFFFFF8},
        {"translation table beyond the end", 16, uint32_t(good.size()) - 8},
        {"first id beyond the end", ids + 4, uint32_t(good.size())},
        {"first translation far away", translations + 4, 0xFFFFFFF0},
        {"huge id length", ids + 8, 0xFFFFFFFF},
        {"translation length one too long", translations + 8 * (n - 1),
         Get32(good, translations + 8 * (n - 1), big) + 1},
    };
    for (const Damage& d : damages) {
      Bytes bad = good;
      Put32(bad, d.at, d.value, big);
      WriteFile("bad.mo", bad);
      EXPECT_EQ(Load("bad.mo"), -4) << d.what << " big " << big;
    }
    ExpectTranslated();
  }
}

// Only the first string offset of each table is read; a NUL missing from the
// file does not make a string run on.
TEST_F(CatalogTest, StringsAreReadBackToBackAndAlwaysTerminated) {
  const Bytes good = Msgfmt("ru", "ru");
  const uint32_t ids = Get32(good, 12, false);

  Bytes moved = good;
  Put32(moved, ids + 8 + 4, 0, false);  // second id's offset: ignored
  WriteFile("moved.mo", moved);
  ASSERT_EQ(Load("moved.mo"), 1);
  ExpectTranslated();

  Bytes unterminated = good;
  uint32_t headerId = Get32(good, ids + 4, false);  // the empty id, length 0
  ASSERT_EQ(unterminated[headerId], 0);
  unterminated[headerId] = 'X';
  WriteFile("unterminated.mo", unterminated);
  ASSERT_EQ(Load("unterminated.mo"), 1);
  EXPECT_EQ(strncmp(tr(""), "Content-Type", 12), 0);
  ExpectTranslated();

  Bytes empty = good;
  Put32(empty, 8, 0, false);
  WriteFile("empty.mo", empty);
  ASSERT_EQ(Load("empty.mo"), 1);
  EXPECT_STREQ(tr("Read"), "Read");
}

// Random damage to the header and tables: loads or is refused, never reads
// outside what it loaded (AddressSanitizer watches).
TEST_F(CatalogTest, GarbageTablesNeverCrash) {
  const Bytes good = Msgfmt("ru", "ru");
  const size_t tablesEnd = 28 + 16 * Get32(good, 8, false);
  std::mt19937 rng(12345);
  const char* probes[] = {"Abort", "About", "Add", "Address", "Read", "Write", "tarvo_6", "", "Z"};
  int loaded = 0;
  for (int round = 0; round < 300; round++) {
    Bytes bad = good;
    for (int k = 0; k < 3; k++) {
      size_t at = 8 + rng() % (tablesEnd - 8);
      bad[at] = uint8_t(rng());
    }
    if (round % 7 == 0) bad.resize(bad.size() - 1 - rng() % 40);
    WriteFile("garbage.mo", bad);
    int result = Load("garbage.mo");
    ASSERT_TRUE(result == 1 || result == -4) << "round " << round << " result " << result;
    if (result == 1) loaded++;
    for (const char* id : probes) ASSERT_NE(tr(id), nullptr);
  }
  EXPECT_GT(loaded, 0);  // some damage leaves a loadable (if wrong) catalog
}

}  // namespace

// A translated format is filled in with the id's arguments; one whose
// conversions differ would read arguments that were never passed, so the id
// answers instead.
TEST_F(CatalogTest, TranslationThatReadsOtherArgumentsIsNotUsed) {
  Msgfmt("formats", "formats");
  ASSERT_EQ(Load("formats.mo"), 1);
  EXPECT_STREQ(tr("Nozzle %d"), "Nozzle %d");
  EXPECT_STREQ(tr("vol. %2d.%02d"), "vol. %2d.%02d");
  EXPECT_STREQ(tr("mass flow %3d.%d\npressure  %3d.%d"), "расход %3d.%d\nдавление %3d.%d");
}
