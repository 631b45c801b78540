// Winsock for the TCP transport. Sockets are kept as 32-bit ints like the
// POSIX descriptors: Winsock handles fit, and INVALID_SOCKET becomes -1.
#include "port/socket_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "port/socket_endpoint.h"

namespace {

SOCKET asSocket(int32_t sock) { return static_cast<SOCKET>(sock); }

int setFlag(SOCKET sock, int level, int option) {
  BOOL on = TRUE;
  return setsockopt(sock, level, option, reinterpret_cast<const char*>(&on), sizeof on);
}

// Non-blocking, so no call ever waits; keep-alive finds peers that vanished
// without a word; no Nagle delay, so a short frame leaves at once.
int32_t configured(SOCKET sock) {
  if (sock == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  if (ioctlsocket(sock, FIONBIO, &nonBlocking) != 0 || setFlag(sock, SOL_SOCKET, SO_KEEPALIVE) != 0 ||
      setFlag(sock, IPPROTO_TCP, TCP_NODELAY) != 0) {
    int saved = WSAGetLastError();
    closesocket(sock);
    WSASetLastError(saved);
    return kNoSocket;
  }
  return static_cast<int32_t>(sock);
}

}  // namespace

SocketError SocketLastError() {
  switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:  // 10035
      return SocketError::WouldBlock;
    case WSAEISCONN:      // 10056
      return SocketError::IsConnected;
    default:
      return SocketError::Other;
  }
}

// Every open TCP port holds one reference on Winsock 2.2.
int SocketLibraryStart() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}

void SocketLibraryEnd() { WSACleanup(); }

uint32_t SocketParseIPv4(const char* text) { return inet_addr(text); }

int32_t SocketCreate() { return configured(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

// No SO_REUSEADDR here: on Windows it would let another program take over a
// port this one listens on.
int SocketListenAt(int32_t sock, uint32_t address, uint16_t port, int backlog) {
  const auto sa = SocketEndpoint<sockaddr_in>(AF_INET, address, port);
  if (bind(asSocket(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return -1;
  return listen(asSocket(sock), backlog) == 0 ? 0 : -1;
}

int SocketListenAny(int32_t sock, uint16_t port, int backlog) {
  return SocketListenAt(sock, htonl(INADDR_ANY), port, backlog);
}

PortOpenFailure SocketListenFailure() {
  switch (WSAGetLastError()) {
    case WSAEADDRINUSE: return PortOpenFailure::Busy;
    case WSAEADDRNOTAVAIL: return PortOpenFailure::NotFound;
    case WSAEACCES: return PortOpenFailure::Busy;  // another program holds it exclusively
    default: return PortOpenFailure::Other;
  }
}

int32_t SocketAccept(int32_t listener) { return configured(accept(asSocket(listener), nullptr, nullptr)); }

int32_t SocketAcceptPeer(int32_t listener, uint32_t* address) {
  sockaddr_in sa{};
  int size = sizeof sa;
  int32_t sock = configured(accept(asSocket(listener), reinterpret_cast<sockaddr*>(&sa), &size));
  *address = sa.sin_addr.s_addr;
  return sock;
}

int SocketConnect(int32_t sock, uint32_t address, uint16_t port) {
  const auto sa = SocketEndpoint<sockaddr_in>(AF_INET, address, port);
  return connect(asSocket(sock), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

// Winsock tells a connect that failed not as writable but in the exception
// set, so both are looked at.
int SocketConnectFinished(int32_t sock) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(asSocket(sock), &writable);
  FD_SET(asSocket(sock), &failed);
  timeval now{0, 0};
  int n = select(0, nullptr, &writable, &failed, &now);
  if (n < 0 || FD_ISSET(asSocket(sock), &failed)) return -1;
  return FD_ISSET(asSocket(sock), &writable) ? 1 : 0;
}

// WSAPoll does not report a connect that failed on every Windows version,
// so the end of a connect is waited for as SocketConnectFinished looks at it.
int SocketWait(const int32_t* sockets, int count, SocketEvent event, int ms) {
  constexpr int kMost = 4;
  if (event == SocketEvent::ConnectEnded) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    int n = 0;
    for (int i = 0; i < count && n < kMost; ++i) {
      if (sockets[i] < 0) continue;
      FD_SET(asSocket(sockets[i]), &writable);
      FD_SET(asSocket(sockets[i]), &failed);
      ++n;
    }
    if (n == 0) {
      Sleep(static_cast<DWORD>(ms));
      return 0;
    }
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    return ready == SOCKET_ERROR ? -1 : (ready > 0 ? 1 : 0);
  }
  WSAPOLLFD p[kMost];
  ULONG n = 0;
  for (int i = 0; i < count && n < kMost; ++i) {
    if (sockets[i] >= 0) p[n++] = WSAPOLLFD{asSocket(sockets[i]), POLLRDNORM, 0};
  }
  if (n == 0) {
    Sleep(static_cast<DWORD>(ms));
    return 0;
  }
  const int ready = WSAPoll(p, n, ms);
  return ready == SOCKET_ERROR ? -1 : (ready > 0 ? 1 : 0);
}

int SocketReceive(int32_t sock, uint8_t* dest, int size) {
  int n = recv(asSocket(sock), reinterpret_cast<char*>(dest), size, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

// Winsock raises no signal for a peer that has gone: the send just fails.
int SocketSend(int32_t sock, const uint8_t* bytes, int count) {
  int n = send(asSocket(sock), reinterpret_cast<const char*>(bytes), count, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int SocketBytesWaiting(int32_t sock, int* count) {
  u_long n = 0;
  if (ioctlsocket(asSocket(sock), FIONREAD, &n) != 0) return -1;
  *count = static_cast<int>(n);
  return 0;
}

// select takes Winsock handles of any value: FD_SETSIZE bounds only how
// many are in the set.
int SocketWaitReadable(const int32_t* socks, int count, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  if (count < 1 || count > 4) return -1;
  for (int i = 0; i < count; ++i) FD_SET(asSocket(socks[i]), &readable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int n = select(0, &readable, nullptr, nullptr, &wait);
  if (n == SOCKET_ERROR) return -1;
  return n > 0 ? 1 : 0;
}

int SocketLocalPort(int32_t sock) {
  sockaddr_in sa{};
  int size = sizeof sa;
  if (getsockname(asSocket(sock), reinterpret_cast<sockaddr*>(&sa), &size) != 0) return -1;
  return ntohs(sa.sin_port);
}

void SocketClose(int32_t sock) {
  if (sock < 0) return;
  shutdown(asSocket(sock), SD_BOTH);
  closesocket(asSocket(sock));
}
