// The far side of a TCP port in tests, with Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>

#include "tests/port/loopback_peer.h"

namespace loopback {
namespace {

// Winsock is started once for the peer's own sockets and left running: the
// code under test starts and ends its own reference independently.
bool winsockStarted() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET asSocket(int fd) { return static_cast<SOCKET>(fd); }

sockaddr_in loopbackAt(uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  return sa;
}

bool readable(int fd, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(asSocket(fd), &set);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) > 0;
}

int newSocket() {
  if (!winsockStarted()) return -1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Listener::Listener(uint16_t port, int backlog) {
  fd_ = newSocket();
  if (fd_ < 0) return;
  BOOL on = TRUE;
  setsockopt(asSocket(fd_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in sa = loopbackAt(port);
  int size = sizeof sa;
  if (bind(asSocket(fd_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(asSocket(fd_), backlog) != 0 ||
      getsockname(asSocket(fd_), reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    closesocket(asSocket(fd_));
    fd_ = -1;
    return;
  }
  port_ = ntohs(sa.sin_port);
}

Listener::~Listener() {
  if (fd_ >= 0) closesocket(asSocket(fd_));
}

int Listener::accept(int timeoutMs) {
  if (fd_ < 0 || !readable(fd_, timeoutMs)) return -1;
  SOCKET s = ::accept(asSocket(fd_), nullptr, nullptr);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

uint16_t freePort() {
  Listener probe;
  return probe.port();
}

int connectTo(uint16_t port) {
  int fd = newSocket();
  if (fd < 0) return -1;
  sockaddr_in sa = loopbackAt(port);
  if (connect(asSocket(fd), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    closesocket(asSocket(fd));
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    int n = send(asSocket(fd), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
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
    int n = recv(asSocket(fd), buffer, static_cast<int>(want), 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

bool seesEnd(int fd, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (readable(fd, msLeft(deadline))) {
    char buffer[4096];
    if (recv(asSocket(fd), buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

void closeSocket(int fd) {
  if (fd >= 0) closesocket(asSocket(fd));
}

int pendingBytes(int fd) {
  u_long count = 0;
  if (ioctlsocket(asSocket(fd), FIONREAD, &count) != 0) return -1;
  return static_cast<int>(count);
}

// Windows has no SIGPIPE: a send to a vanished peer simply fails.
void restoreBrokenPipeDefault() {}

int openDescriptorCount() {
  DWORD count = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &count)) return -1;
  return static_cast<int>(count);
}

}  // namespace loopback
