// Linux: the tty's low-latency flag (TIOCSSERIAL), and the latency timer a
// USB serial driver shows in /sys/bus/usb-serial/devices/NAME/latency_timer.
// TARVO6_SYSFS stands in for /sys.
#include "port/serial_latency.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

struct Given {
  int fd = -1;
  bool flagSet = false;        // ASYNC_LOW_LATENCY was off and was turned on
  std::string timerPath;       // the latency timer changed, and what it held
  std::string timerBefore;
};
Given given[32];

std::string readSmallFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "";
  char text[32] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  return n > 0 ? std::string(text, static_cast<size_t>(n)) : "";
}

bool writeSmallFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The driver's latency timer of the device: under the name it was opened by,
// else under the name a link points to.
std::string timerPathOf(const char* path) {
  const char* root = std::getenv("TARVO6_SYSFS");
  const std::string devices = std::string(root && *root ? root : "/sys") + "/bus/usb-serial/devices/";
  std::string timer = devices + baseName(path) + "/latency_timer";
  if (access(timer.c_str(), W_OK) == 0) return timer;
  char resolved[PATH_MAX];
  if (realpath(path, resolved) == nullptr) return "";
  timer = devices + baseName(resolved) + "/latency_timer";
  return access(timer.c_str(), W_OK) == 0 ? timer : "";
}

}  // namespace

void SerialAskLowLatency(int fd, const char* path) {
  Given* g = nullptr;
  for (Given& slot : given) {
    if (slot.fd < 0) {
      g = &slot;
      break;
    }
  }
  if (g == nullptr) return;
#ifdef __linux__
  serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    g->flagSet = ioctl(fd, TIOCSSERIAL, &serial) == 0;
  }
#endif
  const std::string timer = timerPathOf(path);
  if (!timer.empty()) {
    const std::string before = readSmallFile(timer);
    if (!before.empty() && std::atoi(before.c_str()) > 1 && writeSmallFile(timer, "1")) {
      g->timerPath = timer;
      g->timerBefore = before;
    }
  }
  if (g->flagSet || !g->timerPath.empty()) g->fd = fd;
}

void SerialGiveBackLatency(int fd) {
  for (Given& g : given) {
    if (g.fd != fd) continue;
#ifdef __linux__
    serial_struct serial {};
    if (g.flagSet && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
      serial.flags &= ~ASYNC_LOW_LATENCY;
      ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
    if (!g.timerPath.empty()) writeSmallFile(g.timerPath, g.timerBefore);
    g = Given{};
  }
}
