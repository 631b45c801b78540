// port.out: one CP866 entry text per start of the port layer.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "port/port.h"
#include "tests/support/scratch_dir.h"

namespace {

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
  { std::ofstream("port.out", std::ios::binary) << "earlier runs\r\n"; }

  std::string expected = "earlier runs\r\n";
  for (int run = 0; run < 3; ++run) {
    PortLayerStart();
    expected += kEntry;
    // Already on disk while the layer runs: a crash later keeps the entry.
    EXPECT_EQ(readFile("port.out"), expected) << "run " << run;
    uint16_t h = 0;
    EXPECT_EQ(PortOpen(&h, "STUB"), kPortOpened);
    PortClose(h);
    PortLayerStop();
  }
  EXPECT_EQ(readFile("port.out"), expected);
}

TEST(PortLogTest, ReadOnlyPortOutDoesNotStopTheLayer) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  { std::ofstream("port.out", std::ios::binary) << "kept"; }
  ASSERT_EQ(chmod("port.out", 0444), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);

  // Root writes through a read-only mode, so the layer runs as an ordinary
  // user in a child process.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    PortLayerStart();
    uint16_t h = 0;
    int status = PortOpen(&h, "STUB");
    PortLayerStop();
    _exit(status == kPortOpened && h == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile("port.out"), "kept");
}

}  // namespace
