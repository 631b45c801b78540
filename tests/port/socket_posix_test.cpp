// The socket layer against real loopback sockets.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "port/socket_api.h"
#include "tests/port/loopback_peer.h"
#include "tests/support/wait_until.h"

namespace {

int option(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  getsockopt(fd, level, name, &value, &size);
  return value;
}

void expectTransportSettings(int fd) {
  EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  EXPECT_NE(option(fd, SOL_SOCKET, SO_KEEPALIVE), 0);
  EXPECT_NE(option(fd, IPPROTO_TCP, TCP_NODELAY), 0);
}

// Connects sock to the loopback port, stepping like the transport does.
int connectBySteps(int32_t sock, uint16_t port) {
  if (SocketConnect(sock, SocketParseIPv4("127.0.0.1"), port) == 0) return 1;
  if (SocketLastError() != SocketError::WouldBlock) return -1;
  int finished = 0;
  waitUntil([&] { return (finished = SocketConnectFinished(sock)) != 0; }, 3000);
  return finished;
}

}  // namespace

TEST(SocketLayer, CreatedAndAcceptedSocketsCarryTheTransportSettings) {
  int32_t listener = SocketCreate();
  ASSERT_NE(listener, kNoSocket);
  expectTransportSettings(listener);
  uint16_t port = loopback::freePort();
  ASSERT_EQ(SocketListenAny(listener, port, 5), 0);

  EXPECT_EQ(SocketAccept(listener), kNoSocket);
  EXPECT_EQ(SocketLastError(), SocketError::WouldBlock);

  int peer = loopback::connectTo(port);
  ASSERT_GE(peer, 0);
  int32_t accepted = kNoSocket;
  waitUntil([&] { return (accepted = SocketAccept(listener)) != kNoSocket; }, 3000);
  ASSERT_NE(accepted, kNoSocket);
  expectTransportSettings(accepted);

  // Non-blocking: nothing waits, so a receive returns at once.
  uint8_t byte = 0;
  EXPECT_EQ(SocketReceive(accepted, &byte, 1), -1);
  EXPECT_EQ(SocketLastError(), SocketError::WouldBlock);

  loopback::closeSocket(peer);
  SocketClose(accepted);
  SocketClose(listener);
}

TEST(SocketLayer, ConnectToAPortWithoutListenerEndsFailedNotConnected) {
  int32_t sock = SocketCreate();
  EXPECT_EQ(connectBySteps(sock, loopback::freePort()), -1);
  SocketClose(sock);
}
