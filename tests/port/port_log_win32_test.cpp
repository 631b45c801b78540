// port.out on Windows, where a file opened without "b" would turn each LF
// into CR LF: the entry must land byte for byte, and a read-only file must not
// stop the port layer.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "port/port.h"
#include "tests/support/scratch_dir.h"

namespace {

// CR LF, "Вход в программу" in CP866, CR LF.
const std::string kEntry =
    "\r\n\x82\xE5\xAE\xA4\x20\xA2\x20\xAF\xE0\xAE\xA3\xE0\xA0\xAC\xAC\xE3\r\n";

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void runLayerOnce() {
  PortLayerStart();
  uint16_t h = 0;
  EXPECT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
  PortClose(h);
  PortLayerStop();
}

TEST(PortLogWindows, EachStartAppendsTheEntryByteForByte) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  { std::ofstream("port.out", std::ios::binary) << "earlier\n"; }
  for (int run = 0; run < 3; ++run) runLayerOnce();
  EXPECT_EQ(readFile("port.out"), "earlier\n" + kEntry + kEntry + kEntry);
}

TEST(PortLogWindows, ReadOnlyPortOutDoesNotStopTheLayer) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  { std::ofstream("port.out", std::ios::binary) << "kept"; }
  namespace fs = std::filesystem;
  fs::permissions("port.out", fs::perms::owner_write, fs::perm_options::remove);
  if (std::FILE* probe = std::fopen("port.out", "ab")) {
    std::fclose(probe);
    fs::permissions("port.out", fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "this account writes through read-only files (Wine run as root)";
  }
  runLayerOnce();
  EXPECT_EQ(readFile("port.out"), "kept");
  fs::permissions("port.out", fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
