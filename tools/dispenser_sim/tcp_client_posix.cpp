// Connects to the tool listening on 127.0.0.1:PORT, and again after every
// disconnection, so the simulator can be started before the tool.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tools/dispenser_sim/socket_io.h"
#include "tools/dispenser_sim/transport.h"

namespace {

constexpr int kRetryMs = 200;

class TcpClientTransport : public Transport {
 public:
  explicit TcpClientTransport(int port) : port_(port) {}
  ~TcpClientTransport() override {
    if (fd_ >= 0) close(fd_);
  }

  bool open(std::string* announce, std::string*) override {
    *announce = "127.0.0.1:" + std::to_string(port_);
    return true;
  }

  TransportEvent wait(int timeoutMs, std::vector<uint8_t>* in) override {
    if (fd_ < 0) return connectOnce(timeoutMs);
    int got = socketReceive(fd_, timeoutMs, in);
    if (got > 0) return TransportEvent::Data;
    if (got < 0) {
      close(fd_);
      fd_ = -1;
      lastTry_ = std::chrono::steady_clock::now();
      return TransportEvent::Lost;
    }
    return TransportEvent::Quiet;
  }

  void send(const uint8_t* bytes, size_t count) override {
    if (fd_ >= 0 && !socketSend(fd_, bytes, count)) {
      close(fd_);
      fd_ = -1;
    }
  }

 private:
  TransportEvent connectOnce(int timeoutMs) {
    auto now = std::chrono::steady_clock::now();
    if (now - lastTry_ < std::chrono::milliseconds(kRetryMs)) {
      // Between attempts only the wait passes (a loopback connect answers at once).
      std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
      return TransportEvent::Quiet;
    }
    lastTry_ = now;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port_);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      int yes = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      fd_ = fd;
      return TransportEvent::Connected;
    }
    if (fd >= 0) close(fd);
    return TransportEvent::Quiet;
  }

  int port_;
  int fd_ = -1;
  std::chrono::steady_clock::time_point lastTry_{};
};

}  // namespace

std::unique_ptr<Transport> makeTcpClientTransport(int port) {
  return std::make_unique<TcpClientTransport>(port);
}
