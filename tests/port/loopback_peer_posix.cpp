// The loopback peer's socket calls on POSIX.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "port/socket_endpoint.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/loopback_peer_socket.h"

namespace loopback {
namespace {

sockaddr_in loopbackAt(uint16_t port) {
  return SocketEndpoint<sockaddr_in>(AF_INET, htonl(INADDR_LOOPBACK), port);
}

}  // namespace

namespace socket_calls {

int open() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

void close(int fd) { ::close(fd); }

bool listenAt(int fd, uint16_t port, int backlog, uint16_t* bound) {
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa = loopbackAt(port);
  socklen_t size = sizeof sa;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    return false;
  }
  *bound = ntohs(sa.sin_port);
  return true;
}

bool connectTo(int fd, uint16_t port) {
  sockaddr_in sa = loopbackAt(port);
  return connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

int acceptWaiting(int fd) { return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }

bool readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

long sendSome(int fd, const char* bytes, size_t count) {
  return send(fd, bytes, count, MSG_NOSIGNAL);
}

long receiveSome(int fd, char* buffer, size_t count) { return recv(fd, buffer, count, 0); }

}  // namespace socket_calls

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
