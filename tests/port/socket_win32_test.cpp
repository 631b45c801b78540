// The Winsock socket layer against real loopback sockets.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "port/socket_api.h"
#include "tests/port/loopback_peer.h"
#include "tests/support/wait_until.h"

namespace {

int option(int32_t sock, int level, int name) {
  DWORD value = 0xFFFFFFFF;
  int size = sizeof value;
  getsockopt(static_cast<SOCKET>(sock), level, name, reinterpret_cast<char*>(&value), &size);
  return static_cast<int>(value);
}

// Connects sock to the loopback port, stepping like the transport does.
int connectBySteps(int32_t sock, uint16_t port) {
  if (SocketConnect(sock, SocketParseIPv4("127.0.0.1"), port) == 0) return 1;
  if (SocketLastError() != SocketError::WouldBlock) return -1;
  int finished = 0;
  waitUntil([&] { return (finished = SocketConnectFinished(sock)) != 0; }, 3000);
  return finished;
}

class WinsockLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SocketLibraryStart(), 0); }
  void TearDown() override { SocketLibraryEnd(); }
};

TEST_F(WinsockLayer, CreatedAndAcceptedSocketsCarryTheTransportSettings) {
  int32_t listener = SocketCreate();
  ASSERT_NE(listener, kNoSocket);
  uint16_t port = loopback::freePort();
  ASSERT_EQ(SocketListenAny(listener, port, 5), 0);

  // Non-blocking: with nobody waiting, accept answers at once with 10035.
  EXPECT_EQ(SocketAccept(listener), kNoSocket);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(SocketLastError(), SocketError::WouldBlock);

  int peer = loopback::connectTo(port);
  ASSERT_GE(peer, 0);
  int32_t accepted = kNoSocket;
  waitUntil([&] { return (accepted = SocketAccept(listener)) != kNoSocket; }, 3000);
  ASSERT_NE(accepted, kNoSocket);
  for (int32_t sock : {listener, accepted}) {
    EXPECT_NE(option(sock, SOL_SOCKET, SO_KEEPALIVE), 0);
    EXPECT_NE(option(sock, IPPROTO_TCP, TCP_NODELAY), 0);
  }
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

// A second connect on a connected socket answers 10056: the transport takes
// that as connected.
TEST_F(WinsockLayer, ConnectReportsConnectedThenIsConnected) {
  loopback::Listener listener;
  ASSERT_TRUE(listener.ok());
  int32_t sock = SocketCreate();
  ASSERT_EQ(connectBySteps(sock, listener.port()), 1);
  EXPECT_EQ(SocketConnect(sock, SocketParseIPv4("127.0.0.1"), listener.port()), -1);
  EXPECT_EQ(WSAGetLastError(), WSAEISCONN);
  EXPECT_EQ(SocketLastError(), SocketError::IsConnected);
  SocketClose(sock);
}

// Winsock tells a refused connect in select's exception set only.
TEST_F(WinsockLayer, ConnectToAPortWithoutListenerEndsFailedNotConnected) {
  int32_t sock = SocketCreate();
  EXPECT_EQ(connectBySteps(sock, loopback::freePort()), -1);
  SocketClose(sock);
}

}  // namespace
