// The byte operations on a serial port, with the test playing the device on
// the other end of a real pseudo-terminal (under Wine, a COM port mapped onto
// one: tests/port/serial_peer.h).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/port/serial_peer.h"
#include "tests/support/environment.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(pty.ok()) << "no device peer (under Wine: run the tests with scripts/test-windows.sh)";
    PortLayerStart();
    ASSERT_EQ(PortOpen(&handle, pty.slavePath().c_str()), kPortOpened) << pty.slavePath();
  }
  void TearDown() override {
    PortClose(handle);
    PortLayerStop();
  }
  // Waits until exactly the expected number of bytes has reached the ring.
  bool waitAvailable(int count) {
    return waitUntil([&] { return PortAvailable(handle) >= count; }) && PortAvailable(handle) == count;
  }

  ScratchDir dir;
  PtyPair pty;
  uint16_t handle = 0;
};

TEST_F(SerialPortTest, ReadTakesNothingUntilTheWholeCountHasArrived) {
  pty.send({1, 2, 3, 4, 5});
  ASSERT_TRUE(waitAvailable(5));
  uint8_t dest[8] = {};
  EXPECT_EQ(PortRead(handle, dest, 8), kPortReadNothing);
  EXPECT_EQ(PortAvailable(handle), 5);

  pty.send({6, 7, 8});
  ASSERT_TRUE(waitAvailable(8));
  ASSERT_EQ(PortRead(handle, dest, 8), kPortReadTaken);
  EXPECT_EQ(Bytes(dest, dest + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(PortAvailable(handle), 0);
}

TEST_F(SerialPortTest, ZeroCountSucceedsWhileImpossibleCountsTakeNothing) {
  pty.send({9, 8, 7});
  ASSERT_TRUE(waitAvailable(3));
  uint8_t dest[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(PortRead(handle, dest, 0), kPortReadTaken);
  EXPECT_EQ(PortRead(handle, dest, -1), kPortReadNothing);
  EXPECT_EQ(PortRead(handle, dest, kRxRingSize), kPortReadNothing);
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_EQ(PortAvailable(handle), 3);
}

TEST_F(SerialPortTest, ReplyStraddlingTheRingEndArrivesInOrder) {
  PortSlot* slot = PortSlotOf(handle);
  slot->rxRead = slot->rxWrite = 9998;
  pty.send({0xA1, 0xA2, 0xA3, 0xA4});
  ASSERT_TRUE(waitAvailable(4));
  EXPECT_EQ(slot->rxWrite, 2);
  uint8_t dest[4] = {};
  ASSERT_EQ(PortRead(handle, dest, 4), kPortReadTaken);
  EXPECT_EQ(Bytes(dest, dest + 4), (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(slot->rxRead, 2);
}

TEST_F(SerialPortTest, ClearDropsTheRingAndTheDriverQueue) {
  pty.send({1, 2, 3});
  ASSERT_TRUE(waitAvailable(3));
  pty.send({4, 5, 6, 7});  // still in the driver: no poll since
  ASSERT_TRUE(waitUntil([&] { return DriverInputCount(handle) == 4; }));

  PortClear(handle);
  EXPECT_EQ(DriverInputCount(handle), 0);
  EXPECT_EQ(PortAvailable(handle), 0);

  // What arrives afterwards is read normally.
  pty.send({0x42});
  ASSERT_TRUE(waitAvailable(1));
  uint8_t b = 0;
  ASSERT_EQ(PortRead(handle, &b, 1), kPortReadTaken);
  EXPECT_EQ(b, 0x42);
}

// Every byte value passes untranslated both ways (no newline, XON/XOFF,
// parity, interrupt or echo handling on the line), and the transmitter is
// seen to drain.
TEST_F(SerialPortTest, EveryByteValuePassesUntranslatedBothWays) {
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
  EXPECT_EQ(pty.drain(20), Bytes{}) << "the line echoed what the device sent";
}

// The wait a polling loop makes between steps: it ends when a byte arrives,
// and at its bound when none does. Bounds are loose: they tell a wait that
// ends on the byte from one that sleeps its full time.
TEST_F(SerialPortTest, WaitReadableEndsWhenAByteArrivesOrAtItsBound) {
  auto start = Clock::now();
  PortWaitReadable(handle, 300);
  EXPECT_GE(msSince(start), 250);

  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.send({0x5A});
  });
  start = Clock::now();
  PortWaitReadable(handle, 3000);
  EXPECT_LT(msSince(start), 2000);
  device.join();
  EXPECT_TRUE(waitAvailable(1));

  // A byte already waiting in the driver: no wait at all.
  pty.send({0x5B});
  ASSERT_TRUE(waitUntil([&] { return DriverInputCount(handle) == 1; }));
  start = Clock::now();
  PortWaitReadable(handle, 3000);
  EXPECT_LT(msSince(start), 2000);
}

// The wait for a reply of known length: it sleeps through a reply that comes
// in pieces and ends on its last byte, and ends at its bound when the reply
// stays short.
TEST_F(SerialPortTest, WaitForEndsOnTheLastByteOfTheCountOrAtItsBound) {
  std::thread device([&] {
    pty.send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    pty.send({4, 5, 6, 7, 8});
  });
  auto start = Clock::now();
  PortWaitFor(handle, 8, 3000);
  const auto took = msSince(start);
  device.join();
  EXPECT_EQ(PortAvailable(handle), 8) << "ended before the whole count was in";
  EXPECT_GE(took, 60);
  EXPECT_LT(took, 2000) << "slept on after the last byte";
  PortClear(handle);

  pty.send({9, 10});
  start = Clock::now();
  PortWaitFor(handle, 8, 200);
  EXPECT_GE(msSince(start), 200);
  EXPECT_EQ(PortAvailable(handle), 2);
}

// An adapter pulled out: the device is closed at once, a wait under way ends
// at once, every operation returns at once with its empty result, and a
// polling loop that waits for the line sleeps instead of spinning on the
// hang-up.
TEST_F(SerialPortTest, HangUpClosesTheDeviceAndWaitsNoLongerSpin) {
  if (!PtyPair::canHangUp()) GTEST_SKIP() << "the pty peer service's ptys do not hang up";
  const intptr_t device = PortSlotOf(handle)->serial.device;
  pty.send({1, 2});
  ASSERT_TRUE(waitAvailable(2));
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.hangUp();
  });
  auto start = Clock::now();
  PortWaitFor(handle, 8, 3000);
  EXPECT_LT(msSince(start), 2000);
  unplug.join();
  EXPECT_EQ(PortLost(handle), 1);
  EXPECT_TRUE(DeviceClosed(device)) << "the dead device is closed";
  EXPECT_EQ(PortAvailable(handle), 2) << "bytes received before stay readable";
  PortClear(handle);
  EXPECT_EQ(PortAvailable(handle), 0);
  EXPECT_EQ(PortTxEmpty(handle), 1);
  PortWriteByte(handle, 0x60);

  const double before = ThreadCpuSeconds();
  start = Clock::now();
  int loops = 0;
  while (msSince(start) < 300) {
    PortAvailable(handle);
    PortWaitReadable(handle, 1);
    ++loops;
  }
  EXPECT_LT(ThreadCpuSeconds() - before, 0.15) << loops << " waits";
  EXPECT_EQ(PortClose(handle), kPortClosed);
  EXPECT_EQ(PortLost(handle), 0);
  handle = 0;
}

TEST_F(SerialPortTest, NoPortGivesEmptyResults) {
  pty.send({1});
  ASSERT_TRUE(waitAvailable(1));
  for (uint16_t none : {uint16_t{0}, uint16_t{5}, uint16_t{kPortSlotCount + 1}}) {
    uint8_t b = 0;
    PortWriteByte(none, 0x11);
    PortClear(none);
    EXPECT_EQ(PortAvailable(none), 0);
    EXPECT_EQ(PortRead(none, &b, 1), kPortReadNothing);
    EXPECT_EQ(PortTxEmpty(none), 1);
  }
  EXPECT_EQ(pty.drain(20), Bytes{});
  EXPECT_EQ(PortAvailable(handle), 1);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A USB serial device (a link named ttyUSB9 to a pty, with its driver's
// latency timer in a stand-in /sys) is asked for its bytes at once while open
// and given its own timer back on close; a timer already at 1 is left alone.
TEST_F(SerialPortTest, AUsbAdaptersLatencyTimerIsLoweredWhileOpenAndGivenBack) {
  if (!LowersUsbLatencyTimer()) GTEST_SKIP() << "the driver's latency timer is a Linux setting";
  PortClose(handle);
  handle = 0;
  const std::string timer = "sys/bus/usb-serial/devices/ttyUSB9/latency_timer";
  std::filesystem::create_directories("sys/bus/usb-serial/devices/ttyUSB9");
  std::filesystem::create_symlink(pty.slavePath(), "ttyUSB9");
  SetEnvironment("TARVO6_SYSFS", (std::filesystem::current_path() / "sys").string().c_str());
  const std::string device = (std::filesystem::current_path() / "ttyUSB9").string();
  for (const char* before : {"16\n", "1\n"}) {
    std::ofstream(timer) << before;
    ASSERT_EQ(PortOpen(&handle, device.c_str()), kPortOpened);
    EXPECT_EQ(FileText(timer), std::string(before) == "16\n" ? "1" : before);
    PortClose(handle);
    handle = 0;
    EXPECT_EQ(FileText(timer), before);
  }
  UnsetEnvironment("TARVO6_SYSFS");
}

}  // namespace
