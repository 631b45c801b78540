#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "tests/port/socket_settings.h"

namespace {

int option(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  getsockopt(fd, level, name, &value, &size);
  return value;
}

}  // namespace

void ExpectTransportSettings(int32_t sock) {
  EXPECT_TRUE(fcntl(sock, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(fcntl(sock, F_GETFD) & FD_CLOEXEC);
  EXPECT_NE(option(sock, SOL_SOCKET, SO_KEEPALIVE), 0);
  EXPECT_NE(option(sock, IPPROTO_TCP, TCP_NODELAY), 0);
}
