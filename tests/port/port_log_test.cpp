// port.out: one CP866 entry text per start of the port layer, written byte
// for byte (on Windows a file opened without "b" would turn each LF into
// CR LF), never shortened, and no reason to stop the layer when read-only.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "port/port.h"
#include "tests/support/ordinary_user.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// CR LF, "Вход в программу" in CP866 (as iconv gives it), CR LF.
const std::string kEntry =
    "\r\n\x82\xE5\xAE\xA4\x20\xA2\x20\xAF\xE0\xAE\xA3\xE0\xA0\xAC\xAC\xE3\r\n";

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PortLogTest, EveryStartAppendsOneEntryAndNothingIsEverShortened) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(kEntry.size(), 20u);
  { std::ofstream("port.out", std::ios::binary) << "earlier runs\n"; }

  std::string expected = "earlier runs\n";
  for (int run = 0; run < 3; ++run) {
    PortLayerStart();
    expected += kEntry;
    // Already on disk while the layer runs: a crash later keeps the entry.
    EXPECT_EQ(readFile("port.out"), expected) << "run " << run;
    uint16_t h = 0;
    EXPECT_EQ(PortOpen(&h, "STUB"), kPortOpened);
    EXPECT_EQ(h, 1);
    PortClose(h);
    PortLayerStop();
  }
  EXPECT_EQ(readFile("port.out"), expected);
}

constexpr int kWritesThroughReadOnly = 77;

TEST(PortLogTest, ReadOnlyPortOutDoesNotStopTheLayer) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  { std::ofstream("port.out", std::ios::binary) << "kept"; }
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions("port.out", write, fs::perm_options::remove);
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);

  const int result = AsOrdinaryUser([] {
    if (std::FILE* probe = std::fopen("port.out", "ab")) {
      std::fclose(probe);
      return kWritesThroughReadOnly;
    }
    PortLayerStart();
    uint16_t h = 0;
    const int status = PortOpen(&h, "STUB");
    PortLayerStop();
    return status == kPortOpened && h == 1 ? 0 : 1;
  });
  fs::permissions("port.out", fs::perms::owner_write, fs::perm_options::add);
  if (result == kWritesThroughReadOnly) GTEST_SKIP() << "this account writes through read-only files";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readFile("port.out"), "kept");
}

}  // namespace
