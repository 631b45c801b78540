#include "tests/port/loopback_peer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace loopback {
namespace {

sockaddr_in loopbackAt(uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  return sa;
}

bool readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Listener::Listener(uint16_t port, int backlog) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa = loopbackAt(port);
  socklen_t size = sizeof sa;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd_, backlog) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() {
  if (fd_ >= 0) close(fd_);
}

int Listener::accept(int timeoutMs) {
  if (fd_ < 0 || !readable(fd_, timeoutMs)) return -1;
  return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

uint16_t freePort() {
  Listener probe;
  return probe.port();
}

int connectTo(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa = loopbackAt(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string receive(int fd, size_t count, int timeoutMs) {
  std::string got;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count && readable(fd, msLeft(deadline))) {
    char buffer[4096];
    size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
    ssize_t n = recv(fd, buffer, want, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

bool seesEnd(int fd, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (readable(fd, msLeft(deadline))) {
    char buffer[4096];
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

void closeSocket(int fd) {
  if (fd >= 0) close(fd);
}

int pendingBytes(int fd) {
  int count = -1;
  if (ioctl(fd, FIONREAD, &count) != 0) return -1;
  return count;
}

void restoreBrokenPipeDefault() { signal(SIGPIPE, SIG_DFL); }

int openDescriptorCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

}  // namespace loopback
