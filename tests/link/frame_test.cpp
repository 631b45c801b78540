// The frame checksum, and select frames as they appear on a real serial line.
#include <sys/ioctl.h>

#include <vector>

#include <gtest/gtest.h>

#include "link/frame.h"
#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

int checksumOf(std::vector<uint8_t> bytes) {
  return frameChecksum(bytes.data(), static_cast<int>(bytes.size()));
}

TEST(FrameChecksumTest, KnownValues) {
  EXPECT_EQ(checksumOf({'a', 'b', 'c'}), 0xBB);
  EXPECT_EQ(checksumOf({0x00}), 0xFF);
  EXPECT_EQ(checksumOf({0x60, 0x01, 0xF0}), 0x19);
  EXPECT_EQ(checksumOf({0x60, 0x01, 0x48}), 0x68);
  EXPECT_EQ(checksumOf({0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01}), 0xDB);
  EXPECT_EQ(checksumOf({0x01, 0x00, 0xFF, 0x88, 0xFF, 0x55, 0x01}), 0xA0);
  uint8_t none = 0;
  EXPECT_EQ(frameChecksum(&none, 0), -1);
  EXPECT_EQ(frameChecksum(&none, -5), -1);
}

class SelectFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(pty.ok());
    PortLayerStart();
    ASSERT_EQ(PortOpen(&port, pty.slavePath().c_str()), kPortOpened);
  }
  void TearDown() override {
    PortClose(port);
    PortLayerStop();
  }
  ScratchDir dir;
  PtyPair pty;
  uint16_t port = 0;
};

TEST_F(SelectFrameTest, WireBytesForAddressOne) {
  sendSelect(port, 1, 0x48);
  EXPECT_EQ(pty.receive(4, 2000), (std::vector<uint8_t>{0x60, 0x01, 0x48, 0x68}));
  sendSelect(port, 1, 0xF0);
  EXPECT_EQ(pty.receive(4, 2000), (std::vector<uint8_t>{0x60, 0x01, 0xF0, 0x19}));
  EXPECT_EQ(pty.drain(20), std::vector<uint8_t>{});
}

TEST_F(SelectFrameTest, AddressZeroSendsNothingAndKeepsInput) {
  pty.send({0x11, 0x22});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 2; }));
  sendSelect(port, 0, 0x48);
  sendSelect(port, 0x100, 0xF0);  // only the low byte is the address
  EXPECT_EQ(pty.drain(20), std::vector<uint8_t>{});
  EXPECT_EQ(PortAvailable(port), 2);
}

TEST_F(SelectFrameTest, StaleInputIsDroppedBeforeTheFrameGoesOut) {
  // One late reply already in the ring, another still in the driver.
  pty.send({0xEE, 0xEE, 0xEE});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 3; }));
  pty.send({0xDD, 0xDD});
  int driver = 0;
  ASSERT_TRUE(waitUntil([&] {
    ioctl(static_cast<int>(PortSlotOf(port)->serial.device), FIONREAD, &driver);
    return driver == 2;
  }));

  sendSelect(port, 7, 0x8F);
  uint8_t expected3 = static_cast<uint8_t>(checksumOf({0x60, 0x07, 0x8F}));
  EXPECT_EQ(pty.receive(4, 2000), (std::vector<uint8_t>{0x60, 0x07, 0x8F, expected3}));
  EXPECT_EQ(PortAvailable(port), 0);

  pty.send({0x5A});  // the reply proper
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 1; }));
  uint8_t reply = 0;
  ASSERT_EQ(PortRead(port, &reply, 1), kPortReadTaken);
  EXPECT_EQ(reply, 0x5A);
}

}  // namespace
