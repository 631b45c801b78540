// The simulator's end of a pseudo-terminal: the tool opens the other end by
// its path like any serial device.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/dispenser_sim/transport.h"

namespace {

class PtyTransport : public Transport {
 public:
  ~PtyTransport() override {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }

  bool open(std::string* announce, std::string* error) override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    const char* path = ptsname(master_);
    if (!path) {
      *error = "cannot name the pseudo-terminal";
      return false;
    }
    std::string slavePath = path;
    // Holding the other end open keeps the line alive between the tool's
    // opens (no hang-up, no EIO), and lets the line start raw: a fresh
    // terminal echoes, which would send the replies back to us.
    slave_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
      *error = "cannot open " + slavePath + ": " + std::strerror(errno);
      return false;
    }
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    *announce = slavePath;
    return true;
  }

  TransportEvent wait(int timeoutMs, std::vector<uint8_t>* in) override {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return TransportEvent::Quiet;
    uint8_t buffer[512];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return TransportEvent::Quiet;
    in->insert(in->end(), buffer, buffer + n);
    return TransportEvent::Data;
  }

  void send(const uint8_t* bytes, size_t count) override {
    // A full line (nobody reading for a long time) drops the rest, as a
    // controller talking to an unplugged cable would.
    while (count > 0) {
      ssize_t n = write(master_, bytes, count);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes += n;
      count -= static_cast<size_t>(n);
    }
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

}  // namespace

std::unique_ptr<Transport> makePtyTransport() { return std::make_unique<PtyTransport>(); }
