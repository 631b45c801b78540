#include "fuzz/fuzz_line.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/core/application_link.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"

namespace {

struct Line {
  int controller = -1;  // the pty master: the controller's end
  uint16_t handle = 0;  // the tool's end, a port of the port layer
};

Line& line() {
  static Line l = [] {
    Line opened;
    int master = -1, slave = -1;
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::abort();
    }
    // The tool opens the device by name; the slave descriptor of openpty is
    // only needed until then.
    PortLayerStart();
    int status = PortOpen(&opened.handle, path);
    close(slave);
    if (status != kPortOpened) {
      std::fprintf(stderr, "PortOpen(%s) failed: %d\n", path, status);
      std::abort();
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    opened.controller = master;
    return opened;
  }();
  return l;
}

}  // namespace

uint16_t FuzzLineHandle() { return line().handle; }

void FuzzLineDeliver(const uint8_t* bytes, size_t count) {
  Line& l = line();
  if (count == 0) return;
  const int before = PortAvailable(l.handle);
  size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (done < count && std::chrono::steady_clock::now() < deadline) {
    ssize_t n = write(l.controller, bytes + done, count - done);
    if (n > 0) done += size_t(n);
    PortAvailable(l.handle);  // makes room in the driver
  }
  while (PortAvailable(l.handle) < before + int(count) &&
         std::chrono::steady_clock::now() < deadline) {
  }
}

void FuzzLineDrainRequests() {
  uint8_t sink[512];
  while (read(line().controller, sink, sizeof sink) > 0) {
  }
}

void FuzzLineReset() {
  FuzzLineDrainRequests();
  PortClear(line().handle);
}

void FuzzAdvanceTime(uint32_t ms) {
  tickAdvanceStopped(ms);
}

void FuzzSetUpLink(Trk& link) {
  ConfigureApplicationLink(link);
  link.port = FuzzLineHandle();
  linkTable[0] = &link;
}

void FuzzCheckNoSlotHeld(const Trk& link) {
  if (link.stateTimer != -1 || link.commandTimer != -1 || link.statusTimer != -1) {
    std::fprintf(stderr, "a finished exchange still holds a time-out slot (%d %d %d)\n",
                 link.stateTimer, link.commandTimer, link.statusTimer);
    std::abort();
  }
  int probe = timerArm(1);
  timerRelease(probe);
  if (probe != 0) {
    std::fprintf(stderr, "time-out slots leak: the first free one is %d\n", probe);
    std::abort();
  }
}
