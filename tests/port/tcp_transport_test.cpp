// TCP ports through the byte operations, against real peers on 127.0.0.1.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "clock/tick_clock.h"
#include "port/port.h"
#include "port/port_table.h"
#include "port/rx_ring.h"
#include "tests/port/loopback_peer.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

std::string clientName(uint16_t port) { return "TCPC_127.0.0.1:" + std::to_string(port); }
std::string serverName(uint16_t port) { return "TCPS_" + std::to_string(port); }

class TcpPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    // The default action: a send that raised SIGPIPE would end the test.
    loopback::restoreBrokenPipeDefault();
    tickStart();
    PortLayerStart();
  }
  void TearDown() override {
    for (uint16_t h = 1; h <= kPortSlotCount; ++h) PortClose(h);
    PortLayerStop();
    tickStop();
    tickSetClockOffset(0);
  }

  static PortSlot& slot(uint16_t handle) { return *PortSlotOf(handle); }
  static void write(uint16_t handle, const std::string& text) {
    PortWrite(handle, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
  }
  static std::string read(uint16_t handle, int count) {
    std::string got(static_cast<size_t>(count), '\0');
    if (PortRead(handle, reinterpret_cast<uint8_t*>(&got[0]), count) != 1) return "<nothing>";
    return got;
  }
  static bool connectedAfterSteps(uint16_t handle) {
    return waitUntil([&] { PortAvailable(handle); return slot(handle).connected == 1; });
  }
  static int peerCount(uint16_t handle) {
    int count = 0;
    for (int32_t sock : slot(handle).sockets) count += sock != -1;
    return count;
  }
  static bool peersAfterSteps(uint16_t handle, int count) {
    return waitUntil([&] { PortAvailable(handle); return peerCount(handle) == count; });
  }
  // Bytes that the server's socket for entry holds, not yet polled.
  static int pendingAt(uint16_t handle, int entry) {
    return loopback::pendingBytes(slot(handle).sockets[entry]);
  }

  ScratchDir dir;
  uint16_t handle = 0;
};

// ---- client ----------------------------------------------------------------

TEST_F(TcpPortTest, ClientNameWithoutColonFailsAndLeavesTheSlotFree) {
  int before = loopback::openDescriptorCount();
  EXPECT_EQ(PortOpen(&handle, "TCPC_10.0.0.5"), -1);
  EXPECT_EQ(PortTable.slots[0].inUse, 0);
  EXPECT_EQ(loopback::openDescriptorCount(), before);
  ASSERT_EQ(PortOpen(&handle, "STUB"), 0);
  EXPECT_EQ(handle, 1);
}

TEST_F(TcpPortTest, ClientOpensWithoutPeerDropsWritesAndConnectsOnceAPeerListens) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, clientName(port).c_str()), 0);
  EXPECT_EQ(slot(handle).kind, PortKind::TcpClient);
  EXPECT_EQ(slot(handle).connected, 0);
  for (int step = 0; step < 50; ++step) {
    write(handle, "lost");
    EXPECT_EQ(PortAvailable(handle), 0);
  }
  EXPECT_EQ(slot(handle).connected, 0);

  loopback::Listener listener(port);
  ASSERT_TRUE(listener.ok());
  ASSERT_TRUE(connectedAfterSteps(handle));
  int peer = listener.accept(2000);
  ASSERT_GE(peer, 0);

  write(handle, "hello");
  EXPECT_EQ(loopback::receive(peer, 5, 2000), "hello") << "bytes written before the connection are gone";
  ASSERT_TRUE(loopback::sendAll(peer, "abc"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 3; }));
  EXPECT_EQ(read(handle, 3), "abc");
  loopback::closeSocket(peer);
}

// Writes alone here: only a failing send can notice that the peer is gone,
// and the connection must then be made afresh rather than left for dead.
TEST_F(TcpPortTest, SendToAVanishedPeerDropsTheConnectionNotTheProcessAndReconnects) {
  uint16_t port = 0;
  {
    loopback::Listener first;
    port = first.port();
    ASSERT_EQ(PortOpen(&handle, clientName(port).c_str()), 0);
    ASSERT_TRUE(connectedAfterSteps(handle));
    loopback::closeSocket(first.accept(2000));
  }
  ASSERT_TRUE(waitUntil([&] {
    write(handle, "x");
    return slot(handle).connected == 0;
  }));
  for (int i = 0; i < 20; ++i) write(handle, "x");

  loopback::Listener second(port);
  ASSERT_TRUE(second.ok());
  int peer = -1;
  ASSERT_TRUE(waitUntil([&] {
    write(handle, "y");
    return (peer = second.accept(0)) >= 0;
  }));
  ASSERT_TRUE(waitUntil([&] {
    write(handle, "z");
    return slot(handle).connected == 1;
  }));
  std::string got = loopback::receive(peer, 1, 2000);
  EXPECT_TRUE(got == "y" || got == "z") << got;
  loopback::closeSocket(peer);
}

// A full accept queue makes the kernel ignore further handshakes, so a
// connect stays under way for as long as the test likes.
TEST_F(TcpPortTest, ClientGivesUpAPendingConnectAtItsDeadlineAcrossTheTickWrap) {
  tickStop();
  tickSetClockOffset(static_cast<uint32_t>(65000u - TickClockMs()));  // tick16 near its wrap
  tickStart();
  loopback::Listener busy(0, 0);
  int fillers[2] = {loopback::connectTo(busy.port()), -1};
  ASSERT_GE(fillers[0], 0);
  ASSERT_EQ(PortOpen(&handle, clientName(busy.port()).c_str()), 0);
  PortAvailable(handle);
  ASSERT_EQ(slot(handle).connectState, kTcpConnecting);
  EXPECT_EQ(slot(handle).connectDeadline, static_cast<uint16_t>(tick16() + 10000));
  EXPECT_LT(slot(handle).connectDeadline, tick16()) << "the deadline lies past the wrap";
  for (int step = 0; step < 20; ++step) {
    PortAvailable(handle);
    ASSERT_EQ(slot(handle).connectState, kTcpConnecting);
    ASSERT_EQ(slot(handle).connected, 0);
  }

  slot(handle).connectDeadline = tick16();
  PortAvailable(handle);
  EXPECT_EQ(slot(handle).connectState, kTcpIdle);
  EXPECT_EQ(slot(handle).connected, 0);
  PortAvailable(handle);
  EXPECT_EQ(slot(handle).connectState, kTcpConnecting) << "a fresh attempt follows";
  loopback::closeSocket(fillers[0]);
}

// ---- server ----------------------------------------------------------------

TEST_F(TcpPortTest, ServerTakesSixteenPeersAndNoSeventeenthUntilOneLeaves) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), 0);
  EXPECT_EQ(slot(handle).kind, PortKind::TcpServer);
  std::vector<int> peers;
  for (int i = 0; i < kTcpPeerCount; ++i) {
    peers.push_back(loopback::connectTo(port));
    ASSERT_GE(peers.back(), 0);
    ASSERT_TRUE(peersAfterSteps(handle, i + 1));
  }
  int extra = loopback::connectTo(port);
  ASSERT_GE(extra, 0);
  ASSERT_TRUE(loopback::sendAll(extra, "Q"));
  for (int step = 0; step < 50; ++step) EXPECT_EQ(PortAvailable(handle), 0);

  loopback::closeSocket(peers[3]);
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 1; }));
  EXPECT_EQ(read(handle, 1), "Q");
  EXPECT_EQ(peerCount(handle), kTcpPeerCount) << "the seventeenth took the freed entry";
  for (int peer : peers) loopback::closeSocket(peer);
  loopback::closeSocket(extra);
}

TEST_F(TcpPortTest, ServerPutsEachPollsBytesInEntryOrder) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), 0);
  int first = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  int second = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 2));

  ASSERT_TRUE(loopback::sendAll(second, "2222"));
  ASSERT_TRUE(loopback::sendAll(first, "1111"));
  ASSERT_TRUE(waitUntil([&] { return pendingAt(handle, 0) == 4 && pendingAt(handle, 1) == 4; }));
  EXPECT_EQ(PortAvailable(handle), 8);
  EXPECT_EQ(read(handle, 8), "11112222");
  loopback::closeSocket(first);
  loopback::closeSocket(second);
}

TEST_F(TcpPortTest, ServerWriteReachesEveryPeerAndIsDroppedWithoutPeers) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), 0);
  write(handle, "nobody");
  int first = loopback::connectTo(port);
  int second = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 2));
  write(handle, "all");
  EXPECT_EQ(loopback::receive(first, 3, 2000), "all");
  EXPECT_EQ(loopback::receive(second, 3, 2000), "all");
  loopback::closeSocket(first);
  loopback::closeSocket(second);
}

TEST_F(TcpPortTest, ServerCloseEndsEveryPeerAndThePortOpensAgainAtOnce) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), 0);
  std::vector<int> peers;
  for (int i = 0; i < 3; ++i) peers.push_back(loopback::connectTo(port));
  ASSERT_TRUE(peersAfterSteps(handle, 3));
  write(handle, "bye");
  PortClose(handle);
  for (int peer : peers) {
    EXPECT_TRUE(loopback::seesEnd(peer, 2000));
    loopback::closeSocket(peer);
  }

  // The server closed first, so its side of each connection is in TIME_WAIT.
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), 0);
  int again = loopback::connectTo(port);
  EXPECT_TRUE(peersAfterSteps(handle, 1));
  loopback::closeSocket(again);
}

TEST_F(TcpPortTest, ServerOnAPortInUseFailsAndLeavesTheSlotFree) {
  loopback::Listener holder;
  int before = loopback::openDescriptorCount();
  EXPECT_EQ(PortOpen(&handle, serverName(holder.port()).c_str()), -1);
  EXPECT_EQ(PortTable.slots[0].inUse, 0);
  EXPECT_EQ(loopback::openDescriptorCount(), before);
}

// ---- both --------------------------------------------------------------------

TEST_F(TcpPortTest, OpenCloseCyclesLeaveTheDescriptorCountWhereItBegan) {
  uint16_t port = loopback::freePort();
  int before = loopback::openDescriptorCount();
  for (int cycle = 0; cycle < 200; ++cycle) {
    uint16_t server = 0;
    uint16_t client = 0;
    ASSERT_EQ(PortOpen(&server, serverName(port).c_str()), 0);
    ASSERT_EQ(PortOpen(&client, clientName(port).c_str()), 0);
    ASSERT_TRUE(connectedAfterSteps(client));
    ASSERT_TRUE(peersAfterSteps(server, 1));
    write(client, "x");
    ASSERT_TRUE(waitUntil([&] { return PortAvailable(server) == 1; }));
    PortClose(client);
    PortClose(server);
  }
  EXPECT_EQ(loopback::openDescriptorCount(), before);
}

class FloodTest : public TcpPortTest, public ::testing::WithParamInterface<bool> {};

// Far more than the ring holds arrives between two reads: the ring keeps the
// oldest bytes it has room for, and its indices never pass each other.
TEST_P(FloodTest, OneMegabyteFloodNeverCorruptsTheRing) {
  const bool asServer = GetParam();
  loopback::Listener listener;
  uint16_t port = asServer ? loopback::freePort() : listener.port();
  ASSERT_EQ(PortOpen(&handle, (asServer ? serverName(port) : clientName(port)).c_str()), 0);
  int peer = -1;
  if (asServer) {
    peer = loopback::connectTo(port);
    ASSERT_TRUE(peersAfterSteps(handle, 1));
  } else {
    ASSERT_TRUE(connectedAfterSteps(handle));
    peer = listener.accept(2000);
  }
  ASSERT_GE(peer, 0);

  std::string flood(1 << 20, '\0');
  for (size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>(i * 7 + i / 251);
  std::atomic<bool> sent{false};
  std::thread sender([&] { sent = loopback::sendAll(peer, flood); });
  bool sane = true;
  int peakCount = 0;
  auto polled = [&] {
    int count = PortAvailable(handle);
    const PortSlot& s = slot(handle);
    sane = sane && count >= 0 && count <= kRxRingSize - 1 && s.rxRead < kRxRingSize &&
           s.rxWrite < kRxRingSize && count == RingCount(s);
    if (count > peakCount) peakCount = count;
  };
  // Poll until everything the peer sent has left the socket.
  int socketHolds = -1;
  int32_t sock = slot(handle).sockets[0];  // the peer's socket, or the client's own
  ASSERT_TRUE(waitUntil([&] {
    for (int i = 0; i < 64; ++i) polled();
    socketHolds = loopback::pendingBytes(sock);
    return sent && socketHolds == 0;
  }, 10000));
  sender.join();
  EXPECT_TRUE(sane);
  EXPECT_EQ(peakCount, kRxRingSize - 1);

  std::string kept = read(handle, kRxRingSize - 1);
  EXPECT_EQ(kept, flood.substr(0, kRxRingSize - 1));
  EXPECT_EQ(PortAvailable(handle), 0);
  ASSERT_TRUE(loopback::sendAll(peer, "end"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 3; }));
  EXPECT_EQ(read(handle, 3), "end");
  loopback::closeSocket(peer);
}

INSTANTIATE_TEST_SUITE_P(ServerAndClient, FloodTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Server" : "Client"; });

}  // namespace
