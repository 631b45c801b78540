// How the simulator meets the tool: a pseudo-terminal, or a TCP connection
// it accepts or makes. The pty and the client are its own, thin and
// independent of the tool's port layer; the server uses the port layer's
// socket calls so that it also runs on Windows (there the pty and the client
// are not available: their open says so).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TransportEvent { Quiet, Data, Connected, Lost };

class Transport {
 public:
  virtual ~Transport() = default;
  // Sets up; *announce is the one line to print for scripts.
  virtual bool open(std::string* announce, std::string* error) = 0;
  // Waits up to timeoutMs for something to happen; appends what arrived.
  virtual TransportEvent wait(int timeoutMs, std::vector<uint8_t>* in) = 0;
  // Sends what it can; bytes for a peer that is not there are dropped.
  virtual void send(const uint8_t* bytes, size_t count) = 0;
};

std::unique_ptr<Transport> makePtyTransport();
std::unique_ptr<Transport> makeTcpServerTransport(int port);
std::unique_ptr<Transport> makeTcpClientTransport(int port);
