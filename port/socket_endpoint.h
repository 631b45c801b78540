// The IPv4 endpoint a socket binds or connects to, built the same way for BSD
// sockets and Winsock: each socket file hands in its own sockaddr_in type and
// AF_INET, and keeps only its calls.
#pragma once
#include <cstdint>
#include <cstring>

// address in network byte order (as SocketParseIPv4 gives it), port in host
// order; the port goes into the endpoint most significant byte first.
template <typename SockaddrIn>
SockaddrIn SocketEndpoint(int family, uint32_t address, uint16_t port) {
  SockaddrIn sa{};
  sa.sin_family = static_cast<decltype(sa.sin_family)>(family);
  sa.sin_addr.s_addr = address;
  const uint8_t networkOrder[2] = {static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)};
  std::memcpy(&sa.sin_port, networkOrder, sizeof networkOrder);
  return sa;
}
