// Serial devices on POSIX: a tty opened non-blocking, locked against every
// other user, set raw to 4800 8N1.
#include "port/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "port/port_table.h"
#include "port/serial_latency.h"

namespace {

int64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Closes a half-opened device and hands back the error that stopped the open.
int failOpen(int fd, int error, bool exclusiveSet) {
  if (exclusiveSet) ioctl(fd, TIOCNXCL);
  close(fd);
  return error;
}

// Raw 4800 8N1 from a zeroed termios, so nothing the device was left with by
// an earlier user (echo, canonical mode, flow control, parity) survives.
int applyLineSettings(int fd) {
  termios t{};
  t.c_cflag = CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;   // a read returns at once with what is there
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, B4800) != 0 || cfsetospeed(&t, B4800) != 0) return errno;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return errno;
  return 0;
}

}  // namespace

int SerialOpen(const char* name, intptr_t* device) {
  // "ttyUSB0" names /dev/ttyUSB0; a full path is taken as given.
  char path[kPortNameSize + 8];
  std::snprintf(path, sizeof path, "%s%s", name[0] == '/' ? "" : "/dev/", name);

  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  // TIOCEXCL refuses further opens of the tty, but not to root; the flock is
  // what stops a second user there, in this process or another. It is taken
  // first so that a refused open never touches the owner's exclusive mark.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failOpen(fd, errno, false);
  if (ioctl(fd, TIOCEXCL) != 0) return failOpen(fd, errno, false);
  int error = applyLineSettings(fd);
  if (error != 0) return failOpen(fd, error, true);
  SerialAskLowLatency(fd, path);
  *device = fd;
  return 0;
}

PortOpenFailure SerialOpenFailure(int code) {
  switch (code) {
    case EBUSY:
    case EWOULDBLOCK:  // the flock another user holds
      return PortOpenFailure::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return PortOpenFailure::NotFound;
    case EACCES:
    case EPERM:
      return PortOpenFailure::PermissionDenied;
    default:
      return PortOpenFailure::Other;
  }
}

// A tty whose device is gone, or a pseudo-terminal whose master side closed,
// reports a hang-up (or an error) at once and for ever.
bool SerialLineLost(intptr_t device) {
  pollfd p{static_cast<int>(device), POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return errno != EINTR;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialClose(intptr_t device) {
  int fd = static_cast<int>(device);
  // The exclusive mark lives on the tty, not the descriptor: clear it so the
  // next user (not only root) can open the device again.
  ioctl(fd, TIOCNXCL);
  SerialGiveBackLatency(fd);
  close(fd);  // also releases the flock
}

int SerialInputCount(intptr_t device) {
  int count = 0;
  if (ioctl(static_cast<int>(device), FIONREAD, &count) != 0) return 0;
  return count;
}

int SerialOutputCount(intptr_t device) {
  int count = 0;
  if (ioctl(static_cast<int>(device), TIOCOUTQ, &count) != 0) return 0;
  return count;
}

int SerialRead(intptr_t device, uint8_t* dest, int count) {
  ssize_t n = read(static_cast<int>(device), dest, static_cast<size_t>(count));
  return n > 0 ? static_cast<int>(n) : 0;
}

void SerialWrite(intptr_t device, const uint8_t* bytes, int count) {
  int fd = static_cast<int>(device);
  const int64_t deadline = monotonicMs() + 20 + 20 * static_cast<int64_t>(count);
  int done = 0;
  while (done < count) {
    ssize_t n = write(fd, bytes + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    int64_t left = deadline - monotonicMs();
    if (left <= 0) return;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left));
  }
}

// Bytes that came before a hang-up are read first; the next wait sees it.
int SerialReadWaiting(intptr_t device, uint8_t* dest, int count, int ms) {
  pollfd p{static_cast<int>(device), POLLIN, 0};
  if (poll(&p, 1, ms) < 0) return errno == EINTR ? 0 : -1;
  if ((p.revents & POLLIN) != 0) {
    const int got = SerialRead(device, dest, count);
    if (got > 0) return got;
  }
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0 ? 0 : -1;
}

void SerialDropInput(intptr_t device) { tcflush(static_cast<int>(device), TCIFLUSH); }
