// Clearing a TCP port's input drops what its sockets hold as well as its
// ring: a late reply still in a socket must not reach the next exchange.
#include <string>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "port/port.h"
#include "port/port_table.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/wait_until.h"

namespace {

class TcpClearTest : public PortLayerTest {
 protected:
  // Bytes the port's socket holds that no poll has taken yet.
  int pending() { return loopback::pendingBytes(tcpSocketOf(handle)); }
  std::string readAll() {
    std::string got(static_cast<size_t>(PortAvailable(handle)), '\0');
    if (!got.empty()) PortRead(handle, reinterpret_cast<uint8_t*>(&got[0]), static_cast<int>(got.size()));
    return got;
  }

  uint16_t handle = 0;
};

TEST_F(TcpClearTest, ClientClearDropsWhatTheSocketHolds) {
  loopback::Listener listener;
  ASSERT_TRUE(listener.ok());
  ASSERT_EQ(PortOpen(&handle, ("TCPC_127.0.0.1:" + std::to_string(listener.port())).c_str()), kPortOpened);
  ASSERT_TRUE(waitForTcpPeer(handle));
  const int peer = listener.accept(2000);
  ASSERT_GE(peer, 0);

  ASSERT_TRUE(loopback::sendAll(peer, "late reply"));
  ASSERT_TRUE(waitUntil([&] { return pending() == 10; }));
  PortClear(handle);
  EXPECT_EQ(pending(), 0);
  EXPECT_EQ(PortAvailable(handle), 0);

  // What comes after the clear is received as before.
  ASSERT_TRUE(loopback::sendAll(peer, "own"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 3; }));
  EXPECT_EQ(readAll(), "own");
  loopback::closeSocket(peer);
}

TEST_F(TcpClearTest, ServerClearDropsWhatThePeerSent) {
  const uint16_t port = loopback::freePort();
  ASSERT_EQ(PortOpen(&handle, ("TCPS_" + std::to_string(port)).c_str()), kPortOpened);
  const int peer = loopback::connectTo(port);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(waitForTcpPeer(handle));
  // A large late reply: more than one receive's worth.
  ASSERT_TRUE(loopback::sendAll(peer, std::string(3000, 'x')));
  ASSERT_TRUE(waitUntil([&] { return pending() == 3000; }));
  PortClear(handle);
  EXPECT_EQ(pending(), 0);
  EXPECT_EQ(PortAvailable(handle), 0);

  ASSERT_TRUE(loopback::sendAll(peer, "ok"));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(handle) == 2; }));
  EXPECT_EQ(readAll(), "ok");
  loopback::closeSocket(peer);
}

}  // namespace
