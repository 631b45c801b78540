// The link against dispenser-sim over a pty: the exchanges the operator
// procedures run, end to end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/link/trk_fixture.h"

namespace {

// dispenser-sim as a child process; it prints its pty path on one line.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    // Built before the fork: the child may only exec.
    std::vector<char*> argv{const_cast<char*>(DISPENSER_SIM_PATH)};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execv(DISPENSER_SIM_PATH, argv.data());
      _exit(127);
    }
    close(out[1]);
    readLine(out[0]);
    close(out[0]);
  }
  ~SimProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& path() const { return path_; }

 private:
  void readLine(int fd) {
    char c;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0 || read(fd, &c, 1) != 1 || c == '\n') return;
      path_ += c;
    }
  }
  pid_t pid_ = -1;
  std::string path_;
};

class TrkSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    std::memset(NozzleTable, 0, sizeof NozzleTable);
    tickStart();
    PortLayerStart();
    ConfigureApplicationLink(trk);
    linkTable[0] = &trk;
  }
  void TearDown() override {
    if (port) PortClose(port);
    PortLayerStop();
    tickStop();
  }
  void connect(SimProcess& sim) {
    ASSERT_FALSE(sim.path().empty());
    ASSERT_EQ(PortOpen(&port, sim.path().c_str()), 0);
    trk.port = port;
  }
  // A poll that times out is asked again, as the fill procedure would on its
  // next round: on a busy machine the simulator may miss 220 ms. Anything
  // other than silence is a failure.
  int readState(int nozzle) {
    NozzleRecord out{};
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (trk.readNozzleStatus(nozzle, &out) == 1) return out.state;
      EXPECT_EQ(trk.linkState, -1);
    }
    ADD_FAILURE() << "no status reply in five polls";
    return -1;
  }

  ScratchDir dir;
  uint16_t port = 0;
  Trk trk{0, 1, 0, 0, 0};
};

TEST_F(TrkSimTest, FillRunsThroughCommandsAndStatusPolls) {
  SimProcess sim({"--pty", "--rate", "20000"});
  connect(sim);

  uint8_t status[1] = {0xEE};
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, status); }), 1);
  EXPECT_NE(status[0], 0xEE);

  EXPECT_EQ(readState(0), 0x10);
  EXPECT_EQ(pollStep([&] { return trk.sendFunction13(0); }), 1);
  EXPECT_EQ(readState(0), 0x10);
  EXPECT_TRUE(NozzleTable[0].flags & 0x80);

  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), 1);
  // At 20 l/s the 10 l preset is done within a second.
  EXPECT_TRUE(waitUntil([&] { return readState(0) == 0x40; }, 5000));
  EXPECT_TRUE(waitUntil([&] { return readState(0) == 0x40 && NozzleTable[0].amount == 10000; }));
}

TEST_F(TrkSimTest, RefusedWriteIsExplainedByTheErrorRecord) {
  SimProcess sim({"--pty", "--key", "off"});
  connect(sim);

  const uint8_t data[2] = {0x01, 0x02};
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x5302, 0, data, 2); }), -3);
  int result = -6;
  for (int attempt = 0; attempt < 5 && result == -6; ++attempt) {
    result = pollStep([&] { return trk.readErrorRecord(); });  // 300 ms: see readState
  }
  EXPECT_EQ(result, 1);
  EXPECT_EQ(trk.lastError, 0x58);
}

}  // namespace
