// A real pseudo-terminal pair for tests: the code under test opens the slave
// side by its path like any serial device; the test plays the peer on the
// master side.
#pragma once
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class PtyPair {
 public:
  PtyPair();    // opens the pair; master in raw mode, non-blocking
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

  // Closes the master side, as an adapter pulled out: the slave hangs up.
  // Only where canHangUp(): under Wine the pty peer service holds the pty.
  static bool canHangUp();
  void hangUp();
  // Writes all bytes to the master side (what the device "sends").
  void send(const std::vector<uint8_t>& bytes);
  // Reads from the master side what the code under test wrote, until count
  // bytes arrived or timeoutMs passed.
  std::vector<uint8_t> receive(size_t count, int timeoutMs);
  // Everything that arrives within quietMs of silence.
  std::vector<uint8_t> drain(int quietMs);

  // Times what the code under test writes, from the device's side of the
  // line: in the background, the next count bytes (or what comes within
  // timeoutMs) are read with the moment each arrived, while the test goes on
  // driving the code. No receive or drain until watched().
  struct Arrival {
    uint8_t byte;
    double ms;  // after the watch began
  };
  void watch(size_t count, int timeoutMs);
  // Waits for the watch to end and gives what it saw.
  std::vector<Arrival> watched();

 private:
  int master_ = -1;
  int slaveKeep_ = -1;   // held open so the master never sees a hang-up
  std::string slavePath_;
  std::thread watcher_;
  std::vector<Arrival> arrivals_;
};
