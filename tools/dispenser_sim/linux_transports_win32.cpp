// The pseudo-terminal and the TCP client exist on Linux only: on Windows
// their open fails with a word on what to use instead.
#include "tools/dispenser_sim/transport.h"

namespace {

class UnavailableTransport : public Transport {
 public:
  explicit UnavailableTransport(const char* what) : what_(what) {}
  bool open(std::string*, std::string* error) override {
    *error = std::string(what_) + " is available on Linux only; use --tcp-server PORT";
    return false;
  }
  TransportEvent wait(int, std::vector<uint8_t>*) override { return TransportEvent::Quiet; }
  void send(const uint8_t*, size_t) override {}

 private:
  const char* what_;
};

}  // namespace

std::unique_ptr<Transport> makePtyTransport() {
  return std::make_unique<UnavailableTransport>("--pty");
}

std::unique_ptr<Transport> makeTcpClientTransport(int) {
  return std::make_unique<UnavailableTransport>("--tcp-client");
}
