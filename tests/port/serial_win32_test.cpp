// Serial ports on Windows: a COM port that Wine maps onto a pseudo-terminal,
// with the device played on the pty's other end by the pty peer service.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/pty_pair.h"
#include "tests/support/pty_peer_win32.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

using Bytes = std::vector<uint8_t>;

HANDLE deviceOf(uint16_t handle) { return reinterpret_cast<HANDLE>(PortSlotOf(handle)->serial.device); }

// What ClearCommError reports the driver holds for reading.
int driverInput(uint16_t handle) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(deviceOf(handle), &errors, &status)) return -1;
  return static_cast<int>(status.cbInQue);
}

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(pty.ok()) << "no pty peer service: run the tests with scripts/test-windows.sh";
    PortLayerStart();
    ASSERT_EQ(PortOpen(&handle, pty.slavePath().c_str()), kPortOpened) << pty.slavePath();
  }
  void TearDown() override {
    PortClose(handle);
    PortLayerStop();
  }
  bool waitAvailable(int count) {
    return waitUntil([&] { return PortAvailable(handle) >= count; }) && PortAvailable(handle) == count;
  }

  ScratchDir dir;
  PtyPair pty;
  uint16_t handle = 0;
};

TEST_F(ComPortTest, OpenSetsTheFixedLineAndTimeouts) {
  EXPECT_EQ(PortSlotOf(handle)->ops->kind, PortKind::Serial);
  EXPECT_STREQ(PortSlotOf(handle)->name, pty.slavePath().c_str());
  // As the device sees the line.
  EXPECT_EQ(PeerLineSettings(pty), "4800 8 N 1 none");

  // As the driver reports it back.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(deviceOf(handle), &dcb));
  EXPECT_EQ(dcb.BaudRate, 4800u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  // DTR and RTS are not compared: Wine reports both enabled on a pty,
  // which has no modem lines to keep them on.

  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(deviceOf(handle), &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 2u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 2u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 20u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 20u);
}

TEST_F(ComPortTest, ReadTakesNothingUntilTheWholeCountHasArrived) {
  pty.send({1, 2, 3, 4, 5});
  ASSERT_TRUE(waitAvailable(5));
  uint8_t dest[8] = {};
  EXPECT_EQ(PortRead(handle, dest, 8), kPortReadNothing);
  EXPECT_EQ(PortAvailable(handle), 5);
  EXPECT_EQ(PortRead(handle, dest, 0), kPortReadTaken);

  pty.send({6, 7, 8});
  ASSERT_TRUE(waitAvailable(8));
  ASSERT_EQ(PortRead(handle, dest, 8), kPortReadTaken);
  EXPECT_EQ(Bytes(dest, dest + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(PortAvailable(handle), 0);
}

TEST_F(ComPortTest, ReplyStraddlingTheRingEndArrivesInOrder) {
  PortSlot* slot = PortSlotOf(handle);
  slot->rxRead = slot->rxWrite = 9998;
  pty.send({0xA1, 0xA2, 0xA3, 0xA4});
  ASSERT_TRUE(waitAvailable(4));
  uint8_t dest[4] = {};
  ASSERT_EQ(PortRead(handle, dest, 4), kPortReadTaken);
  EXPECT_EQ(Bytes(dest, dest + 4), (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(slot->rxRead, 2);
}

TEST_F(ComPortTest, ClearDropsTheRingAndTheDriverQueue) {
  pty.send({1, 2, 3});
  ASSERT_TRUE(waitAvailable(3));
  pty.send({4, 5, 6, 7});  // still in the driver: no poll since
  ASSERT_TRUE(waitUntil([&] { return driverInput(handle) == 4; }));

  PortClear(handle);
  EXPECT_EQ(driverInput(handle), 0);
  EXPECT_EQ(PortAvailable(handle), 0);

  pty.send({0x42});
  ASSERT_TRUE(waitAvailable(1));
  uint8_t b = 0;
  ASSERT_EQ(PortRead(handle, &b, 1), kPortReadTaken);
  EXPECT_EQ(b, 0x42);
}

// Every byte value passes untranslated (no newline, XON/XOFF or parity
// handling on the line), and the transmitter is seen to drain.
TEST_F(ComPortTest, WritesReachTheDeviceByteExact) {
  Bytes all(256);
  for (int i = 0; i < 256; i++) all[size_t(i)] = uint8_t(i);
  PortWrite(handle, all.data(), int(all.size()));
  PortWriteByte(handle, 0x0A);
  Bytes expected = all;
  expected.push_back(0x0A);
  EXPECT_EQ(pty.receive(expected.size(), 3000), expected);
  EXPECT_TRUE(waitUntil([&] { return PortTxEmpty(handle) == 1; }));
  EXPECT_EQ(pty.drain(20), Bytes{});

  pty.send(all);
  ASSERT_TRUE(waitAvailable(256));
  Bytes back(256);
  ASSERT_EQ(PortRead(handle, back.data(), 256), kPortReadTaken);
  EXPECT_EQ(back, all);
}

TEST_F(ComPortTest, ClosedPortOpensAgainAndItsHandleIsReused) {
  EXPECT_EQ(PortClose(handle), kPortClosed);
  EXPECT_EQ(PortSlotOf(handle), nullptr);
  uint16_t again = 0;
  ASSERT_EQ(PortOpen(&again, pty.slavePath().c_str()), kPortOpened);
  EXPECT_EQ(again, handle);
  PortWriteByte(again, 0x5A);
  EXPECT_EQ(pty.receive(1, 2000), Bytes{0x5A});
}

TEST_F(ComPortTest, SecondOpenOfAnOpenPortIsDenied) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine does not enforce exclusive opens of a device";
  uint16_t second = 777;
  EXPECT_EQ(PortOpen(&second, pty.slavePath().c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(PortTable.slots[1].inUse, 0);
}

// Names that are neither "STUB" exactly nor TCP are device names in the
// device namespace; ones no device answers to fail with file-not-found.
TEST(ComPortNames, UnknownDevicesFailWithFileNotFoundAndTakeNoSlot) {
  ScratchDir dir;
  PortLayerStart();
  for (const char* name : {"STUB1", "stub", "COM250", "tcpc_127.0.0.1:1"}) {
    uint16_t h = 777;
    EXPECT_EQ(PortOpen(&h, name), ERROR_FILE_NOT_FOUND) << name;
    EXPECT_EQ(h, 0) << name;
  }
  uint16_t h = 0;
  ASSERT_EQ(PortOpen(&h, "STUB"), kPortOpened);
  EXPECT_EQ(h, 1);
  PortClose(h);
  PortLayerStop();
}

}  // namespace
