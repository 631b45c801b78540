// The socket layer against real loopback sockets.
#include <gtest/gtest.h>

#include "port/socket_api.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/socket_settings.h"
#include "tests/support/wait_until.h"

namespace {

// Connects sock to the loopback port, stepping like the transport does.
int connectBySteps(int32_t sock, uint16_t port) {
  if (SocketConnect(sock, SocketParseIPv4("127.0.0.1"), port) == 0) return 1;
  if (SocketLastError() != SocketError::WouldBlock) return -1;
  int finished = 0;
  waitUntil([&] { return (finished = SocketConnectFinished(sock)) != 0; }, 3000);
  return finished;
}

class SocketLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SocketLibraryStart(), 0); }
  void TearDown() override { SocketLibraryEnd(); }
};

TEST_F(SocketLayer, CreatedAndAcceptedSocketsCarryTheTransportSettings) {
  int32_t listener = SocketCreate();
  ASSERT_NE(listener, kNoSocket);
  ExpectTransportSettings(listener);
  uint16_t port = loopback::freePort();
  ASSERT_EQ(SocketListenAny(listener, port, 5), 0);

  // Non-blocking: with nobody waiting, accept answers at once.
  EXPECT_EQ(SocketAccept(listener), kNoSocket);
  EXPECT_EQ(SocketLastError(), SocketError::WouldBlock);

  int peer = loopback::connectTo(port);
  ASSERT_GE(peer, 0);
  int32_t accepted = kNoSocket;
  waitUntil([&] { return (accepted = SocketAccept(listener)) != kNoSocket; }, 3000);
  ASSERT_NE(accepted, kNoSocket);
  ExpectTransportSettings(accepted);

  // Nothing waits, so a receive returns at once; a byte sent is counted, then taken.
  uint8_t byte = 0;
  EXPECT_EQ(SocketReceive(accepted, &byte, 1), -1);
  EXPECT_EQ(SocketLastError(), SocketError::WouldBlock);
  ASSERT_TRUE(loopback::sendAll(peer, "k"));
  int waiting = 0;
  ASSERT_TRUE(waitUntil([&] { return SocketBytesWaiting(accepted, &waiting) == 0 && waiting == 1; }));
  EXPECT_EQ(SocketReceive(accepted, &byte, 1), 1);
  EXPECT_EQ(byte, 'k');

  loopback::closeSocket(peer);
  SocketClose(accepted);
  SocketClose(listener);
}

// Connecting again on a connected socket: Linux answers 0 once (the connect
// under way has ended), then, as Winsock does at once, "is connected", which
// the transport takes for connected.
TEST_F(SocketLayer, ConnectReportsConnectedThenIsConnected) {
  loopback::Listener listener;
  ASSERT_TRUE(listener.ok());
  int32_t sock = SocketCreate();
  ASSERT_EQ(connectBySteps(sock, listener.port()), 1);
  auto again = [&] { return SocketConnect(sock, SocketParseIPv4("127.0.0.1"), listener.port()); };
  const int first = again();
  EXPECT_EQ(first == 0 ? again() : first, -1);
  EXPECT_EQ(SocketLastError(), SocketError::IsConnected);
  SocketClose(sock);
}

// Winsock tells a refused connect in select's exception set only.
TEST_F(SocketLayer, ConnectToAPortWithoutListenerEndsFailedNotConnected) {
  int32_t sock = SocketCreate();
  EXPECT_EQ(connectBySteps(sock, loopback::freePort()), -1);
  SocketClose(sock);
}

}  // namespace
