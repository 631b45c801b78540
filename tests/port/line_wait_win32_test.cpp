// Waits on a port as Windows times them. Run once as they are and once with
// the winquantum library loaded into Wine (scripts/test-windows.sh), where a
// sleep or a time-out ends only on a 15.625 ms tick, as at Windows' default
// timer resolution: a wait that sleeps on the line still ends as the bytes
// come, and no wait ends before its time.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/poll.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

enum class Line { Serial, TcpClient, TcpServer };

// One open port of each kind with its device side: bytes sent there arrive
// at the port.
class LineWaitTest : public PortLayerTest, public ::testing::WithParamInterface<Line> {
 protected:
  void SetUp() override {
    PortLayerTest::SetUp();
    switch (GetParam()) {
      case Line::Serial:
        ASSERT_TRUE(pty.ok()) << "no pty peer service: run the tests with scripts/test-windows.sh";
        ASSERT_EQ(PortOpen(&handle, pty.slavePath().c_str()), kPortOpened);
        send = [this](const std::string& b) { pty.send(std::vector<uint8_t>(b.begin(), b.end())); };
        return;
      case Line::TcpClient: {
        ASSERT_TRUE(listener.ok());
        const std::string name = "TCPC_127.0.0.1:" + std::to_string(listener.port());
        ASSERT_EQ(PortOpen(&handle, name.c_str()), kPortOpened);
        ASSERT_TRUE(waitForTcpPeer(handle));
        device = listener.accept(2000);
        break;
      }
      case Line::TcpServer: {
        const uint16_t port = loopback::freePort();
        ASSERT_EQ(PortOpen(&handle, ("TCPS_" + std::to_string(port)).c_str()), kPortOpened);
        device = loopback::connectTo(port);
        ASSERT_TRUE(waitForTcpPeer(handle));
        break;
      }
    }
    ASSERT_GE(device, 0);
    send = [this](const std::string& b) { loopback::sendAll(device, b); };
  }
  void TearDown() override {
    if (device >= 0) loopback::closeSocket(device);
    PortLayerTest::TearDown();
  }

  // How long after the last of a reply's bytes was sent the wait ended, for
  // a reply of 8 bytes coming as 3 and then 5.
  double lateness(const std::function<void()>& wait) {
    Clock::time_point lastSent;
    std::thread controller([&] {
      send("abc");
      std::this_thread::sleep_for(std::chrono::milliseconds(23));
      send("defgh");
      lastSent = Clock::now();
    });
    wait();
    const Clock::time_point ended = Clock::now();
    controller.join();
    EXPECT_EQ(PortAvailable(handle), 8);
    PortClear(handle);
    return msBetween(lastSent, ended);
  }

  PtyPair pty;
  loopback::Listener listener;
  int device = -1;
  uint16_t handle = 0;
  std::function<void(const std::string&)> send;
};

// A wait that slept in steps would end at the tick after the last byte: on
// average 8 ms late, and within 5 ms of it only a third of the time.
TEST_P(LineWaitTest, AReplyIsTakenAsItsLastByteArrivesNotAtTheNextTick) {
  constexpr int kTrials = 8;
  int prompt = 0;
  int promptPolled = 0;
  std::string seen;
  for (int trial = 0; trial < kTrials; ++trial) {
    const double waited = lateness([&] { PortWaitFor(handle, 8, 3000); });
    const double polled = lateness([&] {
      PollUntilDone([&] { return PortAvailable(handle) >= 8 ? kTrkDone : kTrkPending; }, handle);
    });
    if (waited < 5.0) ++prompt;
    if (polled < 5.0) ++promptPolled;
    seen += " " + std::to_string(static_cast<int>(waited)) + "/" +
            std::to_string(static_cast<int>(polled));
  }
  EXPECT_GE(prompt, kTrials * 3 / 4) << "ms late (wait/poll):" << seen;
  EXPECT_GE(promptPolled, kTrials * 3 / 4) << "ms late (wait/poll):" << seen;
}

// Short waits and long ones (the line is slept on 100 ms at a time), with
// nothing coming and with part of a reply in: none ends early.
TEST_P(LineWaitTest, EveryWaitLastsAtLeastItsTime) {
  for (const bool partial : {false, true}) {
    if (partial) {
      send("xyz");
      PortWaitFor(handle, 3, 2000);
      ASSERT_EQ(PortAvailable(handle), 3);
    }
    for (const int ms : {1, 2, 7, 16, 40, 130, 250}) {
      Clock::time_point start = Clock::now();
      PortWaitFor(handle, 8, ms);
      EXPECT_GE(msBetween(start, Clock::now()), ms) << "wait for 8 bytes, partial " << partial;
      start = Clock::now();
      PortWaitReadable(handle, ms);
      EXPECT_GE(msBetween(start, Clock::now()), ms) << "wait readable, partial " << partial;
    }
  }
}

std::string lineName(const ::testing::TestParamInfo<Line>& info) {
  switch (info.param) {
    case Line::Serial: return "Serial";
    case Line::TcpClient: return "TcpClient";
    case Line::TcpServer: return "TcpServer";
  }
  return "";
}

INSTANTIATE_TEST_SUITE_P(Lines, LineWaitTest,
                         ::testing::Values(Line::Serial, Line::TcpClient, Line::TcpServer),
                         lineName);

// The run that loads winquantum says so: then Sleep(1) must last a tick, or
// the run proves nothing about Windows' timer.
TEST(Winquantum, IsLoadedWhenTheRunSaysSo) {
  if (std::getenv("TARVO_WINQUANTUM") == nullptr) GTEST_SKIP() << "a run without winquantum";
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < 4; ++i) Sleep(1);
  EXPECT_GE(msBetween(start, Clock::now()) / 4, 10.0);
}

}  // namespace
