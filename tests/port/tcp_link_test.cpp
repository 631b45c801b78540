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
    int result = 0;
    waitUntil([&] { return (result = trk.readBlock(kStatusAddress, 0, 1, &status)) != 0; }, 5000);
    return result;
  }

  Trk trk{0, 1, 0, 0, 0};
};

TEST_F(TcpLinkTest, ClientWithoutPeerEndsTheExchangeWithNoReplyThenReachesTheSimulator) {
  uint16_t port = loopback::freePort();
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPC_127.0.0.1:" + std::to_string(port)).c_str()), 0);
  trk.port = handle;
  EXPECT_EQ(readStatus(), -6);

  {
    Simulator sim({"--tcp-server", std::to_string(port)});
    ASSERT_TRUE(sim.running());
    ASSERT_EQ(sim.firstLine(5000), "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(waitForTcpPeer(handle));
    EXPECT_EQ(readStatus(), 1);
    EXPECT_EQ(readStatus(), 1);
  }
  // A controller that went away and came back: the request after its return
  // still goes to the old connection, whose reset makes the port connect anew.
  Simulator again({"--tcp-server", std::to_string(port)});
  ASSERT_EQ(again.firstLine(5000), "127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(readStatus(), -6);
  EXPECT_EQ(readStatus(), 1);
}

TEST_F(TcpLinkTest, ServerExchangesWithTheSimulatorThatConnectsToIt) {
  uint16_t port = loopback::freePort();
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPS_" + std::to_string(port)).c_str()), 0);
  trk.port = handle;

  Simulator sim({"--tcp-client", std::to_string(port)});
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(waitForTcpPeer(handle, 5000));
  EXPECT_EQ(readStatus(), 1);
  EXPECT_EQ(readStatus(), 1);
}

}  // namespace
