// The byte operations on a serial port, with the test playing the device on
// the other end of a real pseudo-terminal.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(pty.ok());
    PortLayerStart();
    ASSERT_EQ(PortOpen(&handle, pty.slavePath().c_str()), kPortOpened);
  }
  void TearDown() override {
    PortClose(handle);
    PortLayerStop();
  }
  // Waits until exactly the expected number of bytes has reached the ring.
  bool waitAvailable(int count) {
    return waitUntil([&] { return PortAvailable(handle) >= count; }) && PortAvailable(handle) == count;
  }
  int driverInput() {
    int count = -1;
    ioctl(static_cast<int>(PortSlotOf(handle)->serial.device), FIONREAD, &count);
    return count;
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
  EXPECT_EQ(std::vector<uint8_t>(dest, dest + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
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
  EXPECT_EQ(std::vector<uint8_t>(dest, dest + 4), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(slot->rxRead, 2);
}

TEST_F(SerialPortTest, ClearDropsTheRingAndTheDriverQueue) {
  pty.send({1, 2, 3});
  ASSERT_TRUE(waitAvailable(3));
  pty.send({4, 5, 6, 7});  // still in the driver: no poll since
  ASSERT_TRUE(waitUntil([&] { return driverInput() == 4; }));

  PortClear(handle);
  EXPECT_EQ(driverInput(), 0);
  EXPECT_EQ(PortAvailable(handle), 0);

  // What arrives afterwards is read normally.
  pty.send({0x42});
  ASSERT_TRUE(waitAvailable(1));
  uint8_t b = 0;
  ASSERT_EQ(PortRead(handle, &b, 1), kPortReadTaken);
  EXPECT_EQ(b, 0x42);
}

TEST_F(SerialPortTest, WritesReachThePeerByteExactAndTheTransmitterDrains) {
  const uint8_t header[] = {0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB};
  PortWrite(handle, header, 8);
  PortWriteByte(handle, 0x0A);  // no newline translation on a raw line
  EXPECT_EQ(pty.receive(9, 2000),
            (std::vector<uint8_t>{0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB, 0x0A}));
  EXPECT_TRUE(waitUntil([&] { return PortTxEmpty(handle) == 1; }));
}

// The wait a polling loop makes between steps: it ends when a byte arrives,
// and at its bound when none does. Bounds are loose: they tell a wait that
// ends on the byte from one that sleeps its full time.
TEST_F(SerialPortTest, WaitReadableEndsWhenAByteArrivesOrAtItsBound) {
  using Clock = std::chrono::steady_clock;
  auto msSince = [](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
  };
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
  ASSERT_TRUE(waitUntil([&] { return driverInput() == 1; }));
  start = Clock::now();
  PortWaitReadable(handle, 3000);
  EXPECT_LT(msSince(start), 2000);
}

// The wait for a reply of known length: it sleeps through a reply that comes
// in pieces and ends on its last byte, ends at its bound when the reply stays
// short, and ends at once when the line hangs up meanwhile.
TEST_F(SerialPortTest, WaitForEndsOnTheLastByteOfTheCountOrAtItsBound) {
  using Clock = std::chrono::steady_clock;
  auto msSince = [](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
  };
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

  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.hangUp();
  });
  start = Clock::now();
  PortWaitFor(handle, 8, 3000);
  EXPECT_LT(msSince(start), 2000);
  unplug.join();
  EXPECT_EQ(PortLost(handle), 1);
}

// An adapter pulled out: the device is closed at once, every operation
// returns at once with its empty result, and a polling loop that waits for
// the line sleeps instead of spinning on the hang-up.
TEST_F(SerialPortTest, HangUpClosesTheDeviceAndWaitsNoLongerSpin) {
  const int fd = static_cast<int>(PortSlotOf(handle)->serial.device);
  pty.send({1, 2});
  ASSERT_TRUE(waitAvailable(2));
  pty.hangUp();
  EXPECT_EQ(PortLost(handle), 1);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the dead device is closed";
  EXPECT_EQ(PortAvailable(handle), 2) << "bytes received before stay readable";
  PortClear(handle);
  EXPECT_EQ(PortAvailable(handle), 0);
  EXPECT_EQ(PortTxEmpty(handle), 1);
  PortWriteByte(handle, 0x60);

  rusage before{}, after{};
  getrusage(RUSAGE_THREAD, &before);
  const auto start = std::chrono::steady_clock::now();
  int loops = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
    PortAvailable(handle);
    PortWaitReadable(handle, 1);
    ++loops;
  }
  getrusage(RUSAGE_THREAD, &after);
  const double cpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                     (after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
                     ((after.ru_utime.tv_usec - before.ru_utime.tv_usec) +
                      (after.ru_stime.tv_usec - before.ru_stime.tv_usec)) / 1e6;
  EXPECT_LT(cpu, 0.15) << loops << " waits";
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
  EXPECT_EQ(pty.drain(20), std::vector<uint8_t>{});
  EXPECT_EQ(PortAvailable(handle), 1);
}

}  // namespace

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A USB serial device (a link named ttyUSB9 to a pty, with its driver's
// latency timer in a stand-in /sys) is asked for its bytes at once while open
// and given its own timer back on close; a timer already at 1 is left alone.
TEST_F(SerialPortTest, AUsbAdaptersLatencyTimerIsLoweredWhileOpenAndGivenBack) {
  PortClose(handle);
  handle = 0;
  const std::string timer = "sys/bus/usb-serial/devices/ttyUSB9/latency_timer";
  std::filesystem::create_directories("sys/bus/usb-serial/devices/ttyUSB9");
  std::filesystem::create_symlink(pty.slavePath(), "ttyUSB9");
  setenv("TARVO6_SYSFS", (std::filesystem::current_path() / "sys").c_str(), 1);
  const std::string device = (std::filesystem::current_path() / "ttyUSB9").string();
  for (const char* before : {"16\n", "1\n"}) {
    std::ofstream(timer) << before;
    ASSERT_EQ(PortOpen(&handle, device.c_str()), kPortOpened);
    EXPECT_EQ(FileText(timer), std::string(before) == "16\n" ? "1" : before);
    PortClose(handle);
    handle = 0;
    EXPECT_EQ(FileText(timer), before);
  }
  unsetenv("TARVO6_SYSFS");
}

}  // namespace
