// The link's exchanges with dispenser-sim through a COM port: the simulator
// runs on the Linux side of Wine on a pty that Wine maps to the COM port
// named in TARVO_SIM_PORT (scripts/test-windows.sh starts it).
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kSettingsLength = 0x3100;
constexpr int kSettings = 0x3101;
constexpr int kPasswordState = 0x5300;

class SimulatorOverComPort : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* com = std::getenv("TARVO_SIM_PORT");
    if (com == nullptr) GTEST_SKIP() << "no simulator: run the tests with scripts/test-windows.sh";
    ASSERT_TRUE(dir.ok());
    tickStart();
    PortLayerStart();
    ASSERT_EQ(PortOpen(&handle, com), kPortOpened) << com;
    trk.port = handle;
  }
  void TearDown() override {
    PortClose(handle);
    PortLayerStop();
    tickStop();
  }
  // One read, polled 1 ms apart as the operator procedures do.
  int read(int address, int count, uint8_t* dest) {
    int result = kTrkPending;
    waitUntil(
        [&] { return (result = trk.readBlock(address, 0, count, dest)) != kTrkPending; },
        5000);
    return result;
  }

  ScratchDir dir;
  uint16_t handle = 0;
  Trk trk{0, 1, 0, 0, 0};
};

TEST_F(SimulatorOverComPort, ReadsTheMainSettingsAndThePasswordState) {
  uint8_t length = 0;
  ASSERT_EQ(read(kSettingsLength, 1, &length), kTrkDone);
  ASSERT_GT(length, 0);
  std::vector<uint8_t> settings(length);
  EXPECT_EQ(read(kSettings, length, settings.data()), kTrkDone);

  // A controller without a password reads its state as sixteen 0x11 bytes.
  std::vector<uint8_t> password(16);
  ASSERT_EQ(read(kPasswordState, 16, password.data()), kTrkDone);
  EXPECT_EQ(password, std::vector<uint8_t>(16, 0x11));
}

TEST_F(SimulatorOverComPort, AnAddressNobodyAnswersTimesOut) {
  trk.address = 77;
  uint8_t length = 0;
  EXPECT_EQ(read(kSettingsLength, 1, &length), kTrkNoReply);
  trk.address = 1;
  EXPECT_EQ(read(kSettingsLength, 1, &length), kTrkDone)
      << "the link recovers for the next exchange";
}

}  // namespace
