// Opening and closing ports by name, against real pseudo-terminals.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"

namespace {

class PortTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    PortLayerStart();
  }
  void TearDown() override {
    for (int h = 1; h <= kPortSlotCount; ++h) PortClose(static_cast<uint16_t>(h));
    PortLayerStop();
  }
  ScratchDir dir;
};

TEST_F(PortTableTest, StubOpensTwiceWithDistinctHandlesThatMoveNothing) {
  uint16_t a = 0, b = 0;
  ASSERT_EQ(PortOpen(&a, "STUB"), kPortOpened);
  ASSERT_EQ(PortOpen(&b, "STUB"), kPortOpened);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  const uint8_t frame[] = {0x60, 0x01, 0x48, 0x68};
  PortWrite(a, frame, 4);
  PortWriteByte(a, 0x31);
  PortClear(a);
  EXPECT_EQ(PortAvailable(a), 0);
  uint8_t dest[1] = {0xAA};
  EXPECT_EQ(PortRead(a, dest, 1), kPortReadNothing);
  EXPECT_EQ(PortRead(a, dest, 0), kPortReadNothing);
  EXPECT_EQ(PortTxEmpty(a), 1);
  EXPECT_EQ(PortSlotOf(a)->ops->kind, PortKind::Stub);
}

TEST_F(PortTableTest, ThirtyThirdOpenFailsAndFreedHandleIsGivenOutAgain) {
  uint16_t h = 0;
  for (int i = 1; i <= kPortSlotCount; ++i) {
    ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
    ASSERT_EQ(h, i);
  }
  h = 777;
  EXPECT_EQ(PortOpen(&h, "STUB"), kPortNoFreeSlot);
  EXPECT_EQ(h, 777);

  // Close 1 while 2 stays open: the next open takes the lowest free slot.
  EXPECT_EQ(PortClose(1), kPortClosed);
  EXPECT_EQ(PortSlotOf(1), nullptr);
  ASSERT_NE(PortSlotOf(2), nullptr);
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
}

TEST_F(PortTableTest, EmptyAndOverlongNamesAreRefusedWithoutTakingASlot) {
  uint16_t h = 555;
  EXPECT_EQ(PortOpen(&h, ""), kPortNameRefused);
  EXPECT_EQ(PortOpen(&h, nullptr), kPortNameRefused);
  std::string tooLong = "/" + std::string(99, 'x');  // 100 bytes: no room for the NUL
  EXPECT_EQ(PortOpen(&h, tooLong.c_str()), kPortNameRefused);
  EXPECT_EQ(h, 555);

  // 99 bytes still fit and are tried as a device path.
  std::string longest = "/" + std::string(98, 'x');
  EXPECT_EQ(PortOpen(&h, longest.c_str()), ENOENT);
  EXPECT_EQ(h, 0);

  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
  EXPECT_STREQ(PortSlotOf(1)->name, "STUB");
}

TEST_F(PortTableTest, NamesThatAreNotExactlyStubOrTcpAreSerialDevices) {
  for (const char* name : {"STUB1", "stub", "tcpc_127.0.0.1:4001", "tcps_5000"}) {
    uint16_t h = 555;
    EXPECT_EQ(PortOpen(&h, name), ENOENT) << name;
    EXPECT_EQ(h, 0) << name;
  }
  // A file that is not a terminal cannot be a serial line.
  uint16_t h = 555;
  EXPECT_EQ(PortOpen(&h, "/dev/null"), ENOTTY);
  EXPECT_EQ(h, 0);
  // None of the failures kept a slot.
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
}

TEST_F(PortTableTest, FailedTcpSetUpReturnsMinusOneAndLeavesTheSlotFree) {
  uint16_t h = 555;
  EXPECT_EQ(PortOpen(&h, "TCPC_10.0.0.5"), kPortTcpOpenFailed);  // no port part
  EXPECT_EQ(h, 555);
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
}

TEST_F(PortTableTest, ClosingNoPortDoesNothing) {
  uint16_t h = 0;
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(PortClose(0), kPortClosed);
  EXPECT_EQ(PortClose(7), kPortClosed);
  EXPECT_EQ(PortClose(kPortSlotCount + 1), kPortClosed);
  EXPECT_NE(PortSlotOf(h), nullptr);
  EXPECT_EQ(PortClose(h), kPortClosed);
  EXPECT_EQ(PortClose(h), kPortClosed);
  EXPECT_EQ(PortSlotOf(h), nullptr);
}

TEST_F(PortTableTest, SerialLineIsRaw4800EightNoneOneWithoutFlowControl) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  // Leave the line in a cooked, slow, flow-controlled state first: open must
  // not inherit any of it.
  termios cooked{};
  tcgetattr(pty.master(), &cooked);
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  cooked.c_iflag |= IXON | IXOFF | ICRNL;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_cflag |= PARENB | CSTOPB | CRTSCTS;
  cfsetspeed(&cooked, B9600);
  tcsetattr(pty.master(), TCSANOW, &cooked);

  uint16_t h = 0;
  ASSERT_EQ(PortOpen(&h, pty.slavePath().c_str()), kPortOpened);
  termios t{};
  ASSERT_EQ(tcgetattr(static_cast<int>(PortSlotOf(h)->serial.device), &t), 0);
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(PortTableTest, DeviceAlreadyOpenIsRefusedHereAndInAnotherProcess) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  uint16_t first = 0;
  ASSERT_EQ(PortOpen(&first, pty.slavePath().c_str()), kPortOpened);

  uint16_t second = 555;
  EXPECT_EQ(PortOpen(&second, pty.slavePath().c_str()), EWOULDBLOCK);
  EXPECT_EQ(second, 0);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    uint16_t h = 0;
    _exit(PortOpen(&h, pty.slavePath().c_str()) == EWOULDBLOCK ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened it";

  // The refused opens kept no slot; once closed, the device opens again.
  uint16_t h = 0;
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 2);
  PortClose(first);
  ASSERT_EQ(PortOpen(&h, pty.slavePath().c_str()), kPortOpened);
  EXPECT_EQ(h, 1);
}

TEST_F(PortTableTest, StoppedLayerRefusesOpensButKeepsOpenPortsWorking) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  uint16_t h = 0;
  ASSERT_EQ(PortOpen(&h, pty.slavePath().c_str()), kPortOpened);
  PortLayerStop();

  uint16_t other = 555;
  EXPECT_EQ(PortOpen(&other, "STUB"), kPortLayerNotStarted);
  EXPECT_EQ(other, 555);
  PortWriteByte(h, 0x5A);
  EXPECT_EQ(pty.receive(1, 2000), std::vector<uint8_t>{0x5A});

  // A restart closes what the earlier run left open, releasing the device.
  PortLayerStart();
  EXPECT_EQ(PortSlotOf(h), nullptr);
  ASSERT_EQ(PortOpen(&other, pty.slavePath().c_str()), kPortOpened);
  EXPECT_EQ(other, 1);
}

}  // namespace
