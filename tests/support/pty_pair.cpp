#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

PtyPair::PtyPair() {
  int master = -1;
  int slave = -1;
  char path[256] = {};
  if (openpty(&master, &slave, path, nullptr, nullptr) != 0) return;
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // Keep a slave descriptor open: without one, reads on the master fail with
  // EIO between the moments the code under test has the device open.
  slaveKeep_ = slave;
  master_ = master;
  slavePath_ = path;
}

PtyPair::~PtyPair() {
  if (watcher_.joinable()) watcher_.join();
  if (master_ >= 0) close(master_);
  if (slaveKeep_ >= 0) close(slaveKeep_);
}

bool PtyPair::canHangUp() { return true; }

void PtyPair::hangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
  tcdrain(master_);
}

std::vector<uint8_t> PtyPair::receive(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    uint8_t buf[512];
    size_t want = count - out.size();
    ssize_t n = read(master_, buf, want < sizeof buf ? want : sizeof buf);
    if (n > 0) out.insert(out.end(), buf, buf + n);
  }
  return out;
}

std::vector<uint8_t> PtyPair::drain(int quietMs) {
  std::vector<uint8_t> out;
  for (;;) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, quietMs) <= 0) break;
    uint8_t buf[512];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void PtyPair::watch(size_t count, int timeoutMs) {
  if (watcher_.joinable()) watcher_.join();
  arrivals_.clear();
  watcher_ = std::thread([this, count, timeoutMs] {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    while (arrivals_.size() < count && Clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 1) <= 0) continue;
      uint8_t buf[512];
      const size_t want = count - arrivals_.size();
      ssize_t n = read(master_, buf, want < sizeof buf ? want : sizeof buf);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      for (ssize_t i = 0; i < n; ++i) arrivals_.push_back(Arrival{buf[i], ms});
    }
  });
}

std::vector<PtyPair::Arrival> PtyPair::watched() {
  if (watcher_.joinable()) watcher_.join();
  return std::move(arrivals_);
}
