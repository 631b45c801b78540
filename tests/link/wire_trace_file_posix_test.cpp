// The wire trace's file on POSIX: a FIFO or a device in its place is refused
// at once, and a file that stops taking writes ends the trace, told once.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/frame.h"
#include "link/wire_trace.h"
#include "tests/port/port_layer_fixture.h"
#include "util/regular_file.h"

namespace {

struct Told {
  WireTraceTrouble trouble;
  int error;
};
std::vector<Told> told;

void Record(WireTraceTrouble trouble, const char*, int error) { told.push_back({trouble, error}); }

class WireTraceFileTest : public PortLayerTest {
 protected:
  void SetUp() override {
    PortLayerTest::SetUp();
    told.clear();
    SetWireTraceTroubleSink(Record);
  }
  void TearDown() override {
    WireTraceStop();
    SetWireTraceTroubleSink(nullptr);
    PortLayerTest::TearDown();
  }
  uint16_t port = 0;
};

// Opening a FIFO for writing would wait for a reader; /dev/full takes
// nothing. Neither is a trace.
TEST_F(WireTraceFileTest, AFifoOrADeviceIsRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo("wire.fifo", 0600), 0);
  for (const char* path : {"wire.fifo", "/dev/full", "."}) {
    int error = 0;
    EXPECT_FALSE(WireTraceStart(path, kWireTraceLimitBytes, &error)) << path;
    EXPECT_EQ(error, std::string(path) == "." ? EISDIR : kErrorNotRegularFile) << path;
    EXPECT_FALSE(WireTraceOn());
  }
  EXPECT_TRUE(told.empty());
}

// A file size limit stands in for a full disk: the write past it fails, the
// trace stops there and says so once, however many frames follow.
TEST_F(WireTraceFileTest, AWriteThatFailsStopsTheTraceAndIsToldOnce) {
  ASSERT_EQ(PortOpen(&port, "STUB"), kPortOpened);
  ASSERT_TRUE(WireTraceStart("wire.trace"));
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 2048;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 100; ++i) sendSelect(port, 1, 0x81);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  for (int i = 0; i < 10; ++i) sendSelect(port, 1, 0x81);   // nothing more is written
  WireTraceStop();

  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].trouble, WireTraceTrouble::kCannotWrite);
  EXPECT_EQ(told[0].error, EFBIG);
  struct stat info {};
  ASSERT_EQ(stat("wire.trace", &info), 0);
  EXPECT_LE(info.st_size, 2048);
}

}  // namespace
