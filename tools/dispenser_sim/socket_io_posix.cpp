#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tools/dispenser_sim/socket_io.h"

int socketReceive(int fd, int timeoutMs, std::vector<uint8_t>* in) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return 0;
  uint8_t buffer[512];
  ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  if (n > 0) {
    in->insert(in->end(), buffer, buffer + n);
    return 1;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  return -1;
}

bool socketSend(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    ssize_t n = send(fd, bytes, count, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}
