// BSD sockets for the TCP transport.
#include "port/socket_api.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "port/socket_endpoint.h"

namespace {

int setFlag(int32_t sock, int level, int option) {
  int on = 1;
  return setsockopt(sock, level, option, &on, sizeof on);
}

// Keep-alive finds peers that vanished without a word; no Nagle delay, so a
// short frame leaves at once instead of waiting for the previous one's ack.
int32_t configured(int32_t sock) {
  if (sock < 0) return kNoSocket;
  if (setFlag(sock, SOL_SOCKET, SO_KEEPALIVE) != 0 ||
      setFlag(sock, IPPROTO_TCP, TCP_NODELAY) != 0) {
    int saved = errno;
    close(sock);
    errno = saved;
    return kNoSocket;
  }
  return sock;
}

}  // namespace

SocketError SocketLastError() {
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return SocketError::WouldBlock;
    case EISCONN:
      return SocketError::IsConnected;
    default:
      return SocketError::Other;
  }
}

// Nothing to start or end on POSIX: sockets are always there.
int SocketLibraryStart() { return 0; }
void SocketLibraryEnd() {}

uint32_t SocketParseIPv4(const char* text) { return inet_addr(text); }

// Close-on-exec, so a program the tool starts never holds a peer or a
// listening port open behind the tool's back.
int32_t SocketCreate() {
  return configured(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
}

// Without SO_REUSEADDR a port re-opened right after a close would be refused
// while the old connections sit in TIME_WAIT.
int SocketListenAt(int32_t sock, uint32_t address, uint16_t port, int backlog) {
  if (setFlag(sock, SOL_SOCKET, SO_REUSEADDR) != 0) return -1;
  const auto sa = SocketEndpoint<sockaddr_in>(AF_INET, address, port);
  if (bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return -1;
  return listen(sock, backlog);
}

int SocketListenAny(int32_t sock, uint16_t port, int backlog) {
  return SocketListenAt(sock, htonl(INADDR_ANY), port, backlog);
}

PortOpenFailure SocketListenFailure() {
  switch (errno) {
    case EADDRINUSE: return PortOpenFailure::Busy;
    case EADDRNOTAVAIL: return PortOpenFailure::NotFound;
    case EACCES: return PortOpenFailure::PermissionDenied;
    default: return PortOpenFailure::Other;
  }
}

// Accepted sockets do not inherit non-blocking mode on Linux: ask for it.
int32_t SocketAccept(int32_t listener) {
  return configured(accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

int32_t SocketAcceptPeer(int32_t listener, uint32_t* address) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  int32_t sock = configured(accept4(listener, reinterpret_cast<sockaddr*>(&sa), &size,
                                    SOCK_NONBLOCK | SOCK_CLOEXEC));
  *address = sa.sin_addr.s_addr;
  return sock;
}

int SocketConnect(int32_t sock, uint32_t address, uint16_t port) {
  const auto sa = SocketEndpoint<sockaddr_in>(AF_INET, address, port);
  return connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

// poll rather than select: select cannot look at descriptors above
// FD_SETSIZE. A connect that failed also reports writable here, so the
// socket's pending error decides.
int SocketConnectFinished(int32_t sock) {
  pollfd p{sock, POLLOUT, 0};
  int n = poll(&p, 1, 0);
  if (n < 0) return -1;
  if (n == 0) return 0;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return -1;
  if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
  return (p.revents & POLLOUT) ? 1 : 0;
}

int SocketWait(const int32_t* sockets, int count, SocketEvent event, int ms) {
  constexpr int kMost = 4;
  pollfd p[kMost];
  nfds_t n = 0;
  const short wanted = event == SocketEvent::Readable ? POLLIN : POLLOUT;
  for (int i = 0; i < count && n < kMost; ++i) {
    if (sockets[i] >= 0) p[n++] = pollfd{sockets[i], wanted, 0};
  }
  const int ready = poll(p, n, ms);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  return ready > 0 ? 1 : 0;
}

int SocketReceive(int32_t sock, uint8_t* dest, int size) {
  return static_cast<int>(recv(sock, dest, static_cast<size_t>(size), 0));
}

// MSG_NOSIGNAL: a send to a peer that has gone would otherwise raise SIGPIPE
// and end the tool.
int SocketSend(int32_t sock, const uint8_t* bytes, int count) {
  return static_cast<int>(send(sock, bytes, static_cast<size_t>(count), MSG_NOSIGNAL));
}

int SocketBytesWaiting(int32_t sock, int* count) {
  int n = 0;
  if (ioctl(sock, FIONREAD, &n) != 0) return -1;
  *count = n;
  return 0;
}

int SocketWaitReadable(const int32_t* socks, int count, int timeoutMs) {
  pollfd p[4];
  if (count < 1 || count > 4) return -1;
  for (int i = 0; i < count; ++i) p[i] = pollfd{socks[i], POLLIN, 0};
  const int n = poll(p, static_cast<nfds_t>(count), timeoutMs);
  if (n < 0) return errno == EINTR ? 0 : -1;
  return n > 0 ? 1 : 0;
}

int SocketLocalPort(int32_t sock) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &size) != 0) return -1;
  return ntohs(sa.sin_port);
}

void SocketClose(int32_t sock) {
  if (sock < 0) return;
  shutdown(sock, SHUT_RDWR);
  close(sock);
}
