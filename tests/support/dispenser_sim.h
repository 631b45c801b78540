// Runs dispenser-sim, the simulated controller: the real peer for tests of
// the link, the procedures, the program and the TCP transport. The one way
// tests start it.
//
//   DispenserSim sim({"--variant", "2", "--nozzles", "4"});
//   ASSERT_TRUE(sim.ok());
//   open sim.announce() ...     // the port to open: "/dev/pts/N" (a COM name
//                               // under Wine), or "127.0.0.1:PORT" with --tcp-server
//   EXPECT_EQ(sim.stop(), 0);   // SIGTERM; the destructor also stops it
//
// On Linux it is a child process of the test. A test built for Windows runs
// under Wine and cannot start a Linux program on a pty: there the pty peer
// service (tests/wine) starts the Linux dispenser-sim on a pty that Wine maps
// to a COM port, and announce() names that COM port.
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

// Signals for the simulator, by their Linux numbers: under Wine it is still
// a Linux process, and Windows has no names for most of them.
namespace sim_signal {
constexpr int kKill = 9;
constexpr int kKeyOff = 10;     // SIGUSR1: the controller's key turned off
constexpr int kTerminate = 15;  // saves the memory image, then ends
constexpr int kResume = 18;     // SIGCONT
constexpr int kPause = 19;      // SIGSTOP: the controller answers nothing
}  // namespace sim_signal

class DispenserSim {
 public:
  // Starts the simulator with args and waits up to startTimeoutMs for its
  // first line on stdout. The simulator's stderr (its trace) goes to ours.
  // Paths among args must be given as hostPath() makes them.
  explicit DispenserSim(const std::vector<std::string>& args, int startTimeoutMs = 5000);
  ~DispenserSim();
  DispenserSim(const DispenserSim&) = delete;
  DispenserSim& operator=(const DispenserSim&) = delete;

  bool ok() const { return !announce_.empty(); }
  const std::string& announce() const { return announce_; }
  // Port of "127.0.0.1:PORT", or 0.
  int tcpPort() const {
    const size_t colon = announce_.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(announce_.c_str() + colon + 1);
  }
  // Sends one of sim_signal's signals.
  void signal(int number);
  // Sends signal and waits up to timeoutMs. Returns the exit status, 128 +
  // the signal when a signal ended it, or -1 when it had to be killed.
  int stop(int signal = sim_signal::kTerminate, int timeoutMs = 5000);

  // A file of the test as the simulator names it: the path itself on Linux,
  // its Linux path under Wine.
  static std::string hostPath(const std::string& path);

#ifndef _WIN32
  int pid() const { return pid_; }
  // Path of the built dispenser-sim.
  static std::string executable();
  // Runs it to the end; returns its exit status (-1 on time-out) and what it
  // wrote to stderr.
  static int run(const std::vector<std::string>& args, std::string* errorText,
                 int timeoutMs = 5000);
#endif

 private:
  int pid_ = -1;      // the child, or on Windows the connection to the service
  int stdout_ = -1;
  std::string announce_;
};
