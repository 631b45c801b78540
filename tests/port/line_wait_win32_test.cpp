// Waits on a port as Windows times them: run once as they are and once with
// winquantum loaded into Wine (scripts/test-windows.sh), where every sleep and
// time-out ends on a 15.625 ms tick, as at Windows' default timer resolution.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/core/poll.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A COM port (true) or a TCP client port, with the device's side to send from.
class LineWaitTest : public PortLayerTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    PortLayerTest::SetUp();
    const std::string name =
        GetParam() ? pty.slavePath() : "TCPC_127.0.0.1:" + std::to_string(listener.port());
    ASSERT_EQ(PortOpen(&handle, name.c_str()), kPortOpened) << name;
    if (GetParam()) return;
    ASSERT_TRUE(waitForTcpPeer(handle));
    ASSERT_GE(device = listener.accept(2000), 0);
  }
  void TearDown() override {
    if (device >= 0) loopback::closeSocket(device);
    PortLayerTest::TearDown();
  }
  void send(const std::string& b) {
    if (GetParam()) pty.send(std::vector<uint8_t>(b.begin(), b.end()));
    else loopback::sendAll(device, b);
  }
  // Milliseconds from the last byte of an 8-byte reply (sent as 3 and 5,
  // restMs apart) to the end of the wait for it.
  double lateness(int restMs, const std::function<void()>& wait) {
    Clock::time_point lastSent;
    std::thread controller([&] {
      send("abc");
      // Spun, not slept: a sleep would end on the timer's tick, in step with
      // a waiter that wakes only at ticks, and that waiter would look prompt.
      const Clock::time_point rest = Clock::now() + std::chrono::milliseconds(restMs);
      while (Clock::now() < rest) {
      }
      send("defgh");
      lastSent = Clock::now();
    });
    wait();
    const Clock::time_point ended = Clock::now();
    controller.join();
    EXPECT_EQ(PortAvailable(handle), 8);
    PortClear(handle);
    return std::chrono::duration<double, std::milli>(ended - lastSent).count();
  }

  PtyPair pty;
  loopback::Listener listener;
  int device = -1;
  uint16_t handle = 0;
};

// The rests between a reply's two parts spread its last byte over the tick,
// so a waiter that wakes only at ticks is 8 ms late on average and takes two
// or three replies of a round of 8 within 5 ms. The port's own wait and the
// wait of the procedures between steps both end on the byte: a round needs 6
// of each within 5 ms. A scheduler busy elsewhere may spoil a round, so the
// best of three counts.
TEST_P(LineWaitTest, AReplyIsTakenAsItsLastByteArrivesNotAtTheNextTick) {
  std::string seen;
  for (int round = 0; round < 3; ++round) {
    int prompt[2] = {0, 0};
    seen += "\n round " + std::to_string(round + 1) + ":";
    for (int trial = 0; trial < 8; ++trial) {
      const int restMs = 20 + 2 * trial;
      const double waited = lateness(restMs, [&] { PortWaitFor(handle, 8, 3000); });
      const double polled = lateness(restMs, [&] {
        PollUntilDone([&] { return PortAvailable(handle) >= 8 ? kTrkDone : kTrkPending; }, handle);
      });
      prompt[0] += waited < 5.0;
      prompt[1] += polled < 5.0;
      seen += " " + std::to_string(waited) + "/" + std::to_string(polled);
    }
    if (prompt[0] >= 6 && prompt[1] >= 6) return;
  }
  ADD_FAILURE() << "no round took 6 of 8 replies within 5 ms; ms late (port's wait/procedure's):"
                << seen;
}

// Short waits and long ones (slept 100 ms at a time), with nothing coming
// and with part of a reply in: none ends early.
TEST_P(LineWaitTest, EveryWaitLastsAtLeastItsTime) {
  for (const bool partial : {false, true}) {
    if (partial) send("xyz");
    PortWaitFor(handle, partial ? 3 : 0, 2000);
    for (const int ms : {1, 2, 7, 16, 40, 130, 250}) {
      Clock::time_point start = Clock::now();
      PortWaitFor(handle, 8, ms);
      EXPECT_GE(msSince(start), ms) << "wait for 8 bytes, partial " << partial;
      start = Clock::now();
      PortWaitReadable(handle, ms);
      EXPECT_GE(msSince(start), ms) << "wait readable, partial " << partial;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ComPortAndTcp, LineWaitTest, ::testing::Bool());

// The run that loads winquantum says so: Sleep(1) must then last a tick, or
// the run proves nothing about Windows' timer.
TEST(Winquantum, IsLoadedWhenTheRunSaysSo) {
  if (std::getenv("TARVO_WINQUANTUM") == nullptr) GTEST_SKIP() << "a run without winquantum";
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < 4; ++i) Sleep(1);
  EXPECT_GE(msSince(start) / 4, 10.0);
}

}  // namespace
