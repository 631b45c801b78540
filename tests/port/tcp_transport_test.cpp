// TCP ports through the byte operations, against real peers on 127.0.0.1.
#include <atomic>
#include <chrono>
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
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/wait_until.h"

namespace {

std::string clientName(uint16_t port) { return "TCPC_127.0.0.1:" + std::to_string(port); }
std::string serverName(uint16_t port) { return "TCPS_" + std::to_string(port); }

class TcpPortTest : public PortLayerTest {
 protected:
  void SetUp() override {
    // The default action: a send that raised SIGPIPE would end the test.
    loopback::restoreBrokenPipeDefault();
    PortLayerTest::SetUp();
  }
  void TearDown() override {
    PortLayerTest::TearDown();
    tickSetClockOffset(0);
  }

  static PortSlot& slot(uint16_t handle) { return *PortSlotOf(handle); }
  static void write(uint16_t handle, const std::string& text) {
    PortWrite(handle, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
  }
  static std::string read(uint16_t handle, int count) {
    std::string got(static_cast<size_t>(count), '\0');
    if (PortRead(handle, reinterpret_cast<uint8_t*>(&got[0]), count) != kPortReadTaken) {
      return "<nothing>";
    }
    return got;
  }
  static int peerCount(uint16_t handle) { return slot(handle).server.peer != -1 ? 1 : 0; }
  static bool peersAfterSteps(uint16_t handle, int count) {
    return waitUntil([&] { PortAvailable(handle); return peerCount(handle) == count; });
  }

  uint16_t handle = 0;
};

// ---- client ----------------------------------------------------------------

TEST_F(TcpPortTest, ClientNameWithoutColonFailsAndLeavesTheSlotFree) {
  int before = loopback::openDescriptorCount();
  EXPECT_EQ(PortOpen(&handle, "TCPC_10.0.0.5"), kPortTcpOpenFailed);
  EXPECT_EQ(PortTable.slots[0].inUse, 0);
  EXPECT_EQ(loopback::openDescriptorCount(), before);
  ASSERT_EQ(PortOpen(&handle, "STUB"), kPortOpened);
  EXPECT_EQ(handle, 1);
}

TEST_F(TcpPortTest, ClientOpensWithoutPeerDropsWritesAndConnectsOnceAPeerListens) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, clientName(port).c_str()), kPortOpened);
  EXPECT_EQ(slot(handle).ops->kind, PortKind::TcpClient);
  EXPECT_EQ(slot(handle).client.connected, 0);
  for (int step = 0; step < 50; ++step) {
    write(handle, "lost");
    EXPECT_EQ(PortAvailable(handle), 0);
  }
  EXPECT_EQ(slot(handle).client.connected, 0);

  loopback::Listener listener(port);
  ASSERT_TRUE(listener.ok());
  ASSERT_TRUE(waitForTcpPeer(handle));
  int peer = listener.accept(2000);
  ASSERT_GE(peer, 0);

  write(handle, "hello");
  EXPECT_EQ(loopback::receive(peer, 5, 2000), "hello") << "bytes written before the connection are gone";
  ASSERT_TRUE(loopback::sendAll(peer, "abc"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 3; }));
  EXPECT_EQ(read(handle, 3), "abc");
  loopback::closeSocket(peer);
}

// A connection whose peer has ended is readable for ever: a client's wait on
// it must still sleep its time, not return at once and spin its caller.
TEST_F(TcpPortTest, WaitOnAConnectionWhosePeerHasEndedSleepsItsTime) {
  loopback::Listener listener;
  ASSERT_EQ(PortOpen(&handle, clientName(listener.port()).c_str()), kPortOpened);
  ASSERT_TRUE(waitForTcpPeer(handle));
  loopback::closeSocket(listener.accept(2000));
  ASSERT_TRUE(waitUntil([&] { PortAvailable(handle); return slot(handle).client.peerEnded == 1; }));
  const auto start = std::chrono::steady_clock::now();
  PortWaitReadable(handle, 80);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
}

// Writes alone here: only a failing send can notice that the peer is gone,
// and the connection must then be made afresh rather than left for dead.
TEST_F(TcpPortTest, SendToAVanishedPeerDropsTheConnectionNotTheProcessAndReconnects) {
  uint16_t port = 0;
  {
    loopback::Listener first;
    port = first.port();
    ASSERT_EQ(PortOpen(&handle, clientName(port).c_str()), kPortOpened);
    ASSERT_TRUE(waitForTcpPeer(handle));
    loopback::closeSocket(first.accept(2000));
  }
  ASSERT_TRUE(waitUntil([&] {
    write(handle, "x");
    return slot(handle).client.connected == 0;
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
    return slot(handle).client.connected == 1;
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
  ASSERT_EQ(PortOpen(&handle, clientName(busy.port()).c_str()), kPortOpened);
  PortAvailable(handle);
  ASSERT_EQ(slot(handle).client.connectState, kTcpConnecting);
  EXPECT_EQ(slot(handle).client.connectDeadline, static_cast<uint16_t>(tick16() + 10000));
  EXPECT_LT(slot(handle).client.connectDeadline, tick16()) << "the deadline lies past the wrap";
  for (int step = 0; step < 20; ++step) {
    PortAvailable(handle);
    ASSERT_EQ(slot(handle).client.connectState, kTcpConnecting);
    ASSERT_EQ(slot(handle).client.connected, 0);
  }

  slot(handle).client.connectDeadline = tick16();
  PortAvailable(handle);
  EXPECT_EQ(slot(handle).client.connectState, kTcpIdle);
  EXPECT_EQ(slot(handle).client.connected, 0);
  PortAvailable(handle);
  EXPECT_EQ(slot(handle).client.connectState, kTcpConnecting) << "a fresh attempt follows";
  loopback::closeSocket(fillers[0]);
}

// ---- server ----------------------------------------------------------------

// A stranger that connects while the controller's peer is there neither hears
// the frames (the password among them) nor answers in its place.
TEST_F(TcpPortTest, ServerTalksToOnePeerAndClosesEveryOtherConnectionAtOnce) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), kPortOpened);
  EXPECT_EQ(slot(handle).ops->kind, PortKind::TcpServer);
  write(handle, "nobody");   // dropped: no peer yet
  int first = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  int second = loopback::connectTo(port);
  ASSERT_GE(second, 0);
  loopback::sendAll(second, "2222");
  EXPECT_TRUE(waitUntil([&] { PortAvailable(handle); return loopback::seesEnd(second, 10); }));

  write(handle, "frame");
  EXPECT_EQ(loopback::receive(first, 5, 2000), "frame");
  ASSERT_TRUE(loopback::sendAll(first, "1111"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 4; }));
  EXPECT_EQ(read(handle, 4), "1111");
  EXPECT_EQ(peerCount(handle), 1);
  loopback::closeSocket(first);
  loopback::closeSocket(second);
}

// The controller on the line is replaced while the port is idle: the first
// byte operation after takes the newcomer, rather than closing it for a peer
// that has already left.
TEST_F(TcpPortTest, ANewcomerReplacingAPeerThatLeftIsTakenByTheNextWrite) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), kPortOpened);
  int first = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  const uint32_t firstConnection = slot(handle).connection;
  ASSERT_TRUE(loopback::sendAll(first, "bye"));
  loopback::closeSocket(first);
  int second = loopback::connectTo(port);
  ASSERT_GE(second, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));   // the leaving has reached us

  write(handle, "frame");
  EXPECT_EQ(loopback::receive(second, 5, 2000), "frame");
  EXPECT_EQ(slot(handle).connection, firstConnection + 1);
  EXPECT_FALSE(loopback::seesEnd(second, 10));
  loopback::closeSocket(second);
}

// Sixteen idle connections no longer fill every place, and none waits in the
// backlog: the one that came first is dropped once it has let enough frames go
// unanswered, and the converter that reconnects then is the peer.
TEST_F(TcpPortTest, SilentPeerIsDroppedAndTheReconnectingConverterTakesItsPlace) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), kPortOpened);
  std::vector<int> idle;
  for (int i = 0; i < 16; ++i) {
    idle.push_back(loopback::connectTo(port));
    PortAvailable(handle);   // keeps the backlog short, as the link's polls do
  }
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  for (size_t i = 1; i < idle.size(); ++i) {
    EXPECT_TRUE(waitUntil([&] { PortAvailable(handle); return loopback::seesEnd(idle[i], 10); }))
        << "idle connection " << i;
  }
  int converter = loopback::connectTo(port);
  EXPECT_TRUE(waitUntil([&] { PortAvailable(handle); return loopback::seesEnd(converter, 10); }))
      << "turned away while the first holds the place";
  loopback::closeSocket(converter);

  int sends = 0;
  while (peerCount(handle) == 1 && sends < 100) {
    write(handle, "req");
    ++sends;
  }
  EXPECT_EQ(peerCount(handle), 0);
  EXPECT_GE(sends, 6) << "a peer gets several requests before it is taken for dead";
  EXPECT_TRUE(loopback::seesEnd(idle[0], 2000));

  converter = loopback::connectTo(port);
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  for (int i = 0; i < 3 * sends; ++i) {   // a peer that answers is kept
    write(handle, "q");
    ASSERT_EQ(loopback::receive(converter, 1, 2000), "q");
    ASSERT_TRUE(loopback::sendAll(converter, "a"));
    ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 1; }));
    ASSERT_EQ(read(handle, 1), "a");
  }
  EXPECT_EQ(peerCount(handle), 1);
  loopback::closeSocket(converter);
  for (int fd : idle) loopback::closeSocket(fd);
}

TEST_F(TcpPortTest, ServerBindsTheNamedLocalAddressAndLetsInOnlyTheNamedPeer) {
  uint16_t port = loopback::freePort();
  const std::string local = "TCPS_127.0.0.1:" + std::to_string(port);
  ASSERT_EQ(PortOpen(&handle, (local + "@127.0.0.2").c_str()), kPortOpened);
  int stranger = loopback::connectTo(port);   // from 127.0.0.1
  ASSERT_GE(stranger, 0);
  EXPECT_TRUE(waitUntil([&] { PortAvailable(handle); return loopback::seesEnd(stranger, 10); }));
  EXPECT_EQ(peerCount(handle), 0);
  loopback::closeSocket(stranger);
  PortClose(handle);

  ASSERT_EQ(PortOpen(&handle, (local + "@127.0.0.1").c_str()), kPortOpened);
  int peer = loopback::connectTo(port);
  EXPECT_TRUE(peersAfterSteps(handle, 1));
  loopback::closeSocket(peer);
  PortClose(handle);

  // An address that is not this machine's cannot be listened on.
  EXPECT_EQ(PortOpen(&handle, ("TCPS_192.0.2.1:" + std::to_string(port)).c_str()),
            kPortTcpOpenFailed);
  EXPECT_EQ(PortLastOpenFailure(), PortOpenFailure::NotFound);
}

// Each of these was once opened as another endpoint than the one written.
TEST_F(TcpPortTest, MalformedOrOutOfRangeNamesFailToOpenAndSaySo) {
  const char* names[] = {"TCPC_127.1:99999", "TCPS_70000", "TCPS_",          "TCPS_abc",
                         "TCPC_a:b",         "TCPC_:",     "TCPC_10.0.0.5",  "TCPC_10.0.0.5:0",
                         "TCPS_0",           "TCPS_5000@", "TCPC_1.2.3.4:5x", "TCPC_010.0.0.1:5",
                         "TCPC_1.2.3.256:5", "TCPS_1.2.3.4", "TCPS_5000@1.2.3", "TCPC_1.2.3.4:+5"};
  for (const char* name : names) {
    EXPECT_EQ(PortOpen(&handle, name), kPortTcpOpenFailed) << name;
    EXPECT_EQ(PortLastOpenFailure(), PortOpenFailure::MalformedTcpName) << name;
    EXPECT_EQ(PortTable.slots[0].inUse, 0) << name;
  }
  ASSERT_EQ(PortOpen(&handle, "TCPC_127.0.0.1:50011"), kPortOpened);
  EXPECT_EQ(slot(handle).client.peerPort, 50011);
  EXPECT_EQ(PortLastOpenFailure(), PortOpenFailure::Opened);
}

TEST_F(TcpPortTest, ServerCloseEndsThePeerAndThePortOpensAgainAtOnce) {
  uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), kPortOpened);
  std::vector<int> peers;
  peers.push_back(loopback::connectTo(port));
  ASSERT_TRUE(peersAfterSteps(handle, 1));
  write(handle, "bye");
  PortClose(handle);
  for (int peer : peers) {
    EXPECT_TRUE(loopback::seesEnd(peer, 2000));
    loopback::closeSocket(peer);
  }

  // The server closed first, so its side of each connection is in TIME_WAIT.
  ASSERT_EQ(PortOpen(&handle, serverName(port).c_str()), kPortOpened);
  int again = loopback::connectTo(port);
  EXPECT_TRUE(peersAfterSteps(handle, 1));
  loopback::closeSocket(again);
}

TEST_F(TcpPortTest, ServerOnAPortInUseFailsAndLeavesTheSlotFree) {
  loopback::Listener holder;
  int before = loopback::openDescriptorCount();
  EXPECT_EQ(PortOpen(&handle, serverName(holder.port()).c_str()), kPortTcpOpenFailed);
  EXPECT_EQ(PortLastOpenFailure(), PortOpenFailure::Busy);
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
    ASSERT_EQ(PortOpen(&server, serverName(port).c_str()), kPortOpened);
    ASSERT_EQ(PortOpen(&client, clientName(port).c_str()), kPortOpened);
    ASSERT_TRUE(waitForTcpPeer(client));
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
  ASSERT_EQ(PortOpen(&handle, (asServer ? serverName(port) : clientName(port)).c_str()), kPortOpened);
  int peer = -1;
  if (asServer) {
    peer = loopback::connectTo(port);
    ASSERT_TRUE(peersAfterSteps(handle, 1));
  } else {
    ASSERT_TRUE(waitForTcpPeer(handle));
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
  int32_t sock = tcpSocketOf(handle);
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
