// Runs dispenser-sim, the simulated controller, as a child process: the real
// peer for tests of the link, the procedures and the TCP transport.
//
//   DispenserSim sim({"--variant", "2", "--nozzles", "4"});
//   ASSERT_TRUE(sim.ok());
//   open sim.announce() ...     // "/dev/pts/N", or "127.0.0.1:PORT" with --tcp-server
//   EXPECT_EQ(sim.stop(), 0);   // SIGTERM; the destructor also stops it
#pragma once
#include <csignal>
#include <string>
#include <vector>

class DispenserSim {
 public:
  // Starts the simulator with args and waits up to startTimeoutMs for its
  // first line on stdout. The simulator's stderr (its trace) goes to ours.
  explicit DispenserSim(const std::vector<std::string>& args, int startTimeoutMs = 5000);
  ~DispenserSim();
  DispenserSim(const DispenserSim&) = delete;
  DispenserSim& operator=(const DispenserSim&) = delete;

  bool ok() const { return !announce_.empty(); }
  const std::string& announce() const { return announce_; }
  int pid() const { return pid_; }
  // Port of "127.0.0.1:PORT", or 0.
  int tcpPort() const;
  // Sends signal and waits up to timeoutMs. Returns the exit status, 128 +
  // the signal when a signal ended it, or -1 when it had to be killed.
  int stop(int signal = SIGTERM, int timeoutMs = 5000);

  // Path of the built dispenser-sim.
  static std::string executable();
  // Runs it to the end; returns its exit status (-1 on time-out) and what it
  // wrote to stderr.
  static int run(const std::vector<std::string>& args, std::string* errorText,
                 int timeoutMs = 5000);

 private:
  int pid_ = -1;
  int stdout_ = -1;
  std::string announce_;
};
