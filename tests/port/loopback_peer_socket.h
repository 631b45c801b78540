// The platform's socket calls behind the loopback peer (loopback_peer.cpp):
// one twin per platform, so the peer's logic is written once. Sockets are
// ints, -1 for none, on both platforms.
#pragma once
#include <cstddef>
#include <cstdint>

namespace loopback {
namespace socket_calls {

// A new blocking TCP socket, or -1.
int open();
void close(int fd);
// Bound to 127.0.0.1:port (0: the kernel picks; a port in TIME_WAIT may be
// taken) and listening; *bound is the port it got.
bool listenAt(int fd, uint16_t port, int backlog, uint16_t* bound);
bool connectTo(int fd, uint16_t port);
// A connection already waiting on the listening socket, or -1.
int acceptWaiting(int fd);
// True when fd has something to receive (or its end) within timeoutMs.
bool readable(int fd, int timeoutMs);
// Bytes sent or received by one call; 0 or less on an end or failure. A
// send never raises SIGPIPE.
long sendSome(int fd, const char* bytes, size_t count);
long receiveSome(int fd, char* buffer, size_t count);

}  // namespace socket_calls
}  // namespace loopback
