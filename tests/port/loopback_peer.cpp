// The far side of a TCP port in tests, the same on every platform; the socket
// calls themselves are in loopback_peer_posix.cpp and loopback_peer_win32.cpp.
#include "tests/port/loopback_peer.h"

#include <chrono>

#include "tests/port/loopback_peer_socket.h"

namespace loopback {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Listener::Listener(uint16_t port, int backlog) {
  fd_ = socket_calls::open();
  if (fd_ < 0) return;
  if (!socket_calls::listenAt(fd_, port, backlog, &port_)) {
    socket_calls::close(fd_);
    fd_ = -1;
    port_ = 0;
  }
}

Listener::~Listener() {
  if (fd_ >= 0) socket_calls::close(fd_);
}

int Listener::accept(int timeoutMs) {
  if (fd_ < 0 || !socket_calls::readable(fd_, timeoutMs)) return -1;
  return socket_calls::acceptWaiting(fd_);
}

uint16_t freePort() {
  Listener probe;
  return probe.port();
}

int connectTo(uint16_t port) {
  int fd = socket_calls::open();
  if (fd < 0) return -1;
  if (!socket_calls::connectTo(fd, port)) {
    socket_calls::close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    long n = socket_calls::sendSome(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string receive(int fd, size_t count, int timeoutMs) {
  std::string got;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count && socket_calls::readable(fd, msLeft(deadline))) {
    char buffer[4096];
    size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
    long n = socket_calls::receiveSome(fd, buffer, want);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

bool seesEnd(int fd, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (socket_calls::readable(fd, msLeft(deadline))) {
    char buffer[4096];
    if (socket_calls::receiveSome(fd, buffer, sizeof buffer) <= 0) return true;
  }
  return false;
}

void closeSocket(int fd) {
  if (fd >= 0) socket_calls::close(fd);
}

}  // namespace loopback
