// The loopback peer's socket calls with Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "port/socket_endpoint.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/loopback_peer_socket.h"

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

int asInt(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

sockaddr_in loopbackAt(uint16_t port) {
  return SocketEndpoint<sockaddr_in>(AF_INET, htonl(INADDR_LOOPBACK), port);
}

}  // namespace

namespace socket_calls {

int open() {
  if (!winsockStarted()) return -1;
  return asInt(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

void close(int fd) { closesocket(asSocket(fd)); }

bool listenAt(int fd, uint16_t port, int backlog, uint16_t* bound) {
  BOOL on = TRUE;
  setsockopt(asSocket(fd), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in sa = loopbackAt(port);
  int size = sizeof sa;
  if (bind(asSocket(fd), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(asSocket(fd), backlog) != 0 ||
      getsockname(asSocket(fd), reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    return false;
  }
  *bound = ntohs(sa.sin_port);
  return true;
}

bool connectTo(int fd, uint16_t port) {
  sockaddr_in sa = loopbackAt(port);
  return connect(asSocket(fd), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

int acceptWaiting(int fd) { return asInt(::accept(asSocket(fd), nullptr, nullptr)); }

bool readable(int fd, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(asSocket(fd), &set);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) > 0;
}

long sendSome(int fd, const char* bytes, size_t count) {
  return send(asSocket(fd), bytes, static_cast<int>(count), 0);
}

long receiveSome(int fd, char* buffer, size_t count) {
  return recv(asSocket(fd), buffer, static_cast<int>(count), 0);
}

}  // namespace socket_calls

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
