// Accepts the tool on 127.0.0.1:PORT. One tool at a time: a new connection
// replaces the old one, so a tool restarted after a crash is not locked out.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/dispenser_sim/socket_io.h"
#include "tools/dispenser_sim/transport.h"

namespace {

class TcpServerTransport : public Transport {
 public:
  explicit TcpServerTransport(int port) : port_(port) {}
  ~TcpServerTransport() override {
    if (peer_ >= 0) close(peer_);
    if (listener_ >= 0) close(listener_);
  }

  bool open(std::string* announce, std::string* error) override {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a = loopback(port_);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 4) != 0) {
      *error = "cannot listen on 127.0.0.1:" + std::to_string(port_) + ": " + std::strerror(errno);
      return false;
    }
    socklen_t length = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    *announce = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return true;
  }

  TransportEvent wait(int timeoutMs, std::vector<uint8_t>* in) override {
    pollfd p[2] = {{listener_, POLLIN, 0}, {peer_, POLLIN, 0}};
    int count = peer_ >= 0 ? 2 : 1;
    if (poll(p, count, timeoutMs) <= 0) return TransportEvent::Quiet;
    if (p[0].revents & POLLIN) {
      int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (peer_ >= 0) close(peer_);
        peer_ = fd;
        return TransportEvent::Connected;
      }
    }
    if (count == 2 && p[1].revents) {
      int got = socketReceive(peer_, 0, in);
      if (got > 0) return TransportEvent::Data;
      if (got < 0) {
        close(peer_);
        peer_ = -1;
        return TransportEvent::Lost;
      }
    }
    return TransportEvent::Quiet;
  }

  void send(const uint8_t* bytes, size_t count) override {
    if (peer_ >= 0 && !socketSend(peer_, bytes, count)) {
      close(peer_);
      peer_ = -1;
    }
  }

 private:
  int port_;
  int listener_ = -1;
  int peer_ = -1;
};

}  // namespace

std::unique_ptr<Transport> makeTcpServerTransport(int port) {
  return std::make_unique<TcpServerTransport>(port);
}
