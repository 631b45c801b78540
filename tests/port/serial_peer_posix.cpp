// The serial tests' platform side on Linux: the pty is the test's own.
#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/port/serial_peer.h"
#include "tests/support/termios_line_text.h"

const int kNoSuchDeviceError = ENOENT;
const int kDeviceHeldError = EWOULDBLOCK;
const char* const kNotASerialLine = "/dev/null";

int DriverInputCount(uint16_t handle) {
  int count = -1;
  ioctl(static_cast<int>(PortSlotOf(handle)->serial.device), FIONREAD, &count);
  return count;
}

// The master's termios are the slave's: the line as the port set it.
std::string DeviceLineSettings(PtyPair& pty) { return TermiosLineText(pty.master()); }

// A cooked, echoing, translating line too: open must undo all of it.
void SetLineAsAnotherProgramLeftIt(PtyPair& pty) {
  termios t{};
  tcgetattr(pty.master(), &t);
  t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  t.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
  t.c_oflag |= OPOST | ONLCR;
  t.c_cflag |= CSTOPB | CRTSCTS;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  cfsetspeed(&t, B9600);
  tcsetattr(pty.master(), TCSANOW, &t);
}

void ExpectPlatformLineDetails(uint16_t handle) {
  termios t{};
  ASSERT_EQ(tcgetattr(static_cast<int>(PortSlotOf(handle)->serial.device), &t), 0);
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & (IXANY | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

const char* WhyASecondOpenIsNotRefused() { return nullptr; }

int PortOpenInAnotherProcess(const std::string& path) {
  pid_t child = fork();
  if (child < 0) return kNotTriedElsewhere;
  if (child == 0) {
    uint16_t h = 0;
    _exit(PortOpen(&h, path.c_str()) & 0xFF);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return kNotTriedElsewhere;
  return WEXITSTATUS(status);
}

bool DeviceClosed(intptr_t device) { return fcntl(static_cast<int>(device), F_GETFD) == -1; }

double ThreadCpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

bool LowersUsbLatencyTimer() { return true; }
