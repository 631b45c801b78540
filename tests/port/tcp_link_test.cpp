// The link's exchanges over TCP ports, with dispenser-sim as the controller
// on 127.0.0.1: the tool connecting to it, and it connecting to the tool.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "port/port_table.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/wait_until.h"

extern char** environ;

namespace {

constexpr int kStatusAddress = 0x3100;

// dispenser-sim started by the test, stopped (and reaped) by its destructor.
class Simulator {
 public:
  explicit Simulator(const std::vector<std::string>& options) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args{DISPENSER_SIM};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, DISPENSER_SIM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  bool running() const { return pid_ > 0; }
  // The first line the simulator prints (where it listens or connects).
  std::string firstLine(int timeoutMs) {
    std::string line;
    char c = 0;
    pollfd p{stdout_, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0 && read(stdout_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

class TcpLinkTest : public PortLayerTest {
 protected:
  // One read of the controller's status byte, polled 1 ms apart as the
  // operator procedures do.
  int readStatus() {
    uint8_t status = 0;
    int result = kTrkPending;
    waitUntil(
        [&] { return (result = trk.readBlock(kStatusAddress, 0, 1, &status)) != kTrkPending; },
        5000);
    return result;
  }

  Trk trk{0, 1, 0, 0, 0};
};

TEST_F(TcpLinkTest, ClientWithoutPeerEndsTheExchangeWithNoReplyThenReachesTheSimulator) {
  uint16_t port = loopback::freePort();
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPC_127.0.0.1:" + std::to_string(port)).c_str()), kPortOpened);
  trk.port = handle;
  EXPECT_EQ(readStatus(), kTrkNoReply);

  {
    Simulator sim({"--tcp-server", std::to_string(port)});
    ASSERT_TRUE(sim.running());
    ASSERT_EQ(sim.firstLine(5000), "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(waitForTcpPeer(handle));
    EXPECT_EQ(readStatus(), kTrkDone);
    EXPECT_EQ(readStatus(), kTrkDone);
  }
  // A controller that went away and came back: the request after its return
  // still goes to the old connection, whose reset makes the port connect anew.
  Simulator again({"--tcp-server", std::to_string(port)});
  ASSERT_EQ(again.firstLine(5000), "127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(readStatus(), kTrkNoReply);
  EXPECT_EQ(readStatus(), kTrkDone);
}

TEST_F(TcpLinkTest, ServerExchangesWithTheSimulatorThatConnectsToIt) {
  uint16_t port = loopback::freePort();
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPS_" + std::to_string(port)).c_str()), kPortOpened);
  trk.port = handle;

  Simulator sim({"--tcp-client", std::to_string(port)});
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(waitForTcpPeer(handle, 5000));
  EXPECT_EQ(readStatus(), kTrkDone);
  EXPECT_EQ(readStatus(), kTrkDone);
}

// The peer of a TCPS_ port leaves after a write's header and another takes
// its place before the body: the body would reach a controller that never got
// the header, so the write ends not done and the new peer gets nothing.
TEST_F(TcpLinkTest, AWriteWhosePeerIsReplacedAfterItsHeaderSendsNothingMore) {
  const uint16_t port = loopback::freePort();
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPS_127.0.0.1:" + std::to_string(port)).c_str()), kPortOpened);
  trk.port = handle;
  const int first = loopback::connectTo(port);
  ASSERT_GE(first, 0);
  ASSERT_TRUE(waitUntil([&] { return PortConnection(handle) == 1; }));

  const uint8_t record[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(trk.writeBlock(0x1000, 0, record, 10), 0);
  EXPECT_FALSE(loopback::receive(first, 8, 1000).empty());   // select frame and header
  loopback::closeSocket(first);
  // The port sees the first peer gone (a server takes one peer at a time).
  ASSERT_TRUE(waitUntil([&] { PortAvailable(handle); return tcpSocketOf(handle) < 0; }));
  const int second = loopback::connectTo(port);
  ASSERT_GE(second, 0);

  int result = 0;
  ASSERT_TRUE(waitUntil([&] { return (result = trk.writeBlock(0x1000, 0, record, 10)) != 0; }, 5000));
  EXPECT_EQ(result, kTrkNoReply);
  EXPECT_EQ(PortConnection(handle), 2u);
  EXPECT_EQ(loopback::receive(second, 1, 300), "");
  loopback::closeSocket(second);
}

}  // namespace
