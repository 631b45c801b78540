// The socket layer against real loopback sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
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

TEST(SocketLayer, ParsesDottedAddressesOnly) {
  EXPECT_EQ(SocketParseIPv4("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(SocketParseIPv4("localhost"), 0xFFFFFFFFu);
}

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

TEST(SocketLayer, ConnectStepsReachAListenerAndThenReportConnected) {
  loopback::Listener listener;
  ASSERT_TRUE(listener.ok());
  int32_t sock = SocketCreate();
  ASSERT_EQ(connectBySteps(sock, listener.port()), 1);
  // Linux lets the first connect after an asynchronous one finished succeed;
  // from then on it says "already connected".
  SocketConnect(sock, SocketParseIPv4("127.0.0.1"), listener.port());
  EXPECT_EQ(SocketConnect(sock, SocketParseIPv4("127.0.0.1"), listener.port()), -1);
  EXPECT_EQ(SocketLastError(), SocketError::IsConnected);

  int peer = listener.accept(3000);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(loopback::sendAll(peer, "abc"));
  int waiting = 0;
  waitUntil([&] { return SocketBytesWaiting(sock, &waiting) == 0 && waiting == 3; }, 3000);
  EXPECT_EQ(waiting, 3);
  uint8_t got[8] = {};
  EXPECT_EQ(SocketReceive(sock, got, sizeof got), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), "abc");

  const uint8_t out[] = {'x', 'y'};
  EXPECT_EQ(SocketSend(sock, out, 2), 2);
  EXPECT_EQ(loopback::receive(peer, 2, 3000), "xy");

  loopback::closeSocket(peer);
  int n = -1;
  waitUntil([&] { return (n = SocketReceive(sock, got, sizeof got)) == 0; }, 3000);
  EXPECT_EQ(n, 0) << "end of stream once the peer closed";
  SocketClose(sock);
}

TEST(SocketLayer, ConnectToAPortWithoutListenerFails) {
  int32_t sock = SocketCreate();
  EXPECT_EQ(connectBySteps(sock, loopback::freePort()), -1);
  SocketClose(sock);
}

// With the default SIGPIPE action a send to a reset connection would end
// this test program instead of failing the send.
TEST(SocketLayer, SendToAVanishedPeerFailsWithoutEndingTheProcess) {
  loopback::Listener listener;
  int32_t sock = SocketCreate();
  ASSERT_EQ(connectBySteps(sock, listener.port()), 1);
  loopback::closeSocket(listener.accept(3000));

  signal(SIGPIPE, SIG_DFL);
  const uint8_t byte = 0x55;
  bool failed = waitUntil([&] { return SocketSend(sock, &byte, 1) < 0; }, 3000);
  EXPECT_TRUE(failed);
  EXPECT_EQ(SocketLastError(), SocketError::Other);
  // The reset is reported once; from then on the send meets a broken pipe.
  EXPECT_EQ(SocketSend(sock, &byte, 1), -1);
  EXPECT_EQ(SocketSend(sock, &byte, 1), -1);
  SocketClose(sock);
}

// The server closing first leaves its end of the connection in TIME_WAIT.
TEST(SocketLayer, ListeningPortCanBeTakenAgainRightAfterClose) {
  uint16_t port = loopback::freePort();
  int32_t listener = SocketCreate();
  ASSERT_EQ(SocketListenAny(listener, port, 5), 0);
  int peer = loopback::connectTo(port);
  int32_t accepted = kNoSocket;
  waitUntil([&] { return (accepted = SocketAccept(listener)) != kNoSocket; }, 3000);
  ASSERT_NE(accepted, kNoSocket);
  SocketClose(accepted);
  EXPECT_TRUE(loopback::seesEnd(peer, 3000));
  loopback::closeSocket(peer);
  SocketClose(listener);

  int32_t again = SocketCreate();
  EXPECT_EQ(SocketListenAny(again, port, 5), 0);
  SocketClose(again);
}
