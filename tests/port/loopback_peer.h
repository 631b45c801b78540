// The far side of a TCP port in tests: plain blocking sockets on 127.0.0.1
// only, and waits that end at a deadline.
#pragma once
#include <cstdint>
#include <string>

namespace loopback {

// A socket listening on 127.0.0.1 at the port given, or at one the kernel
// picks (0). It may take a port whose last connections are in TIME_WAIT.
class Listener {
 public:
  explicit Listener(uint16_t port = 0, int backlog = 32);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool ok() const { return fd_ >= 0; }
  uint16_t port() const { return port_; }
  // The next connection that arrives within timeoutMs, or -1.
  int accept(int timeoutMs);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A port on which nothing listens: picked by the kernel, then released.
uint16_t freePort();
// A connected blocking socket to 127.0.0.1:port, or -1.
int connectTo(uint16_t port);
bool sendAll(int fd, const std::string& bytes);
// What arrives until count bytes are there or timeoutMs passed.
std::string receive(int fd, size_t count, int timeoutMs);
// True when the other side closed (end of stream or reset) within timeoutMs;
// bytes still arriving before that are skipped.
bool seesEnd(int fd, int timeoutMs);
void closeSocket(int fd);
// Bytes a socket holds that nobody has received yet; -1 when it cannot tell.
int pendingBytes(int fd);
// Gives SIGPIPE its default action (ending the process) where there is one,
// so a send that raised it would fail the test loudly.
void restoreBrokenPipeDefault();

// Descriptors (on Windows: handles) this process holds open right now.
int openDescriptorCount();

}  // namespace loopback
