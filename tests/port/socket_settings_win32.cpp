#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "tests/port/socket_settings.h"

namespace {

int option(int32_t sock, int level, int name) {
  DWORD value = 0xFFFFFFFF;
  int size = sizeof value;
  getsockopt(static_cast<SOCKET>(sock), level, name, reinterpret_cast<char*>(&value), &size);
  return static_cast<int>(value);
}

}  // namespace

void ExpectTransportSettings(int32_t sock) {
  EXPECT_NE(option(sock, SOL_SOCKET, SO_KEEPALIVE), 0);
  EXPECT_NE(option(sock, IPPROTO_TCP, TCP_NODELAY), 0);
}
