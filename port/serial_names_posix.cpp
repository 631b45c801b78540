// Linux serial port names: the serial devices the machine really has, as sysfs
// shows them, then the names the user offers in TARVO6_PORTS (a TCP endpoint,
// the null port, a pseudo-terminal). TARVO6_SYSFS and TARVO6_DEVDIR stand in
// for /sys and /dev, so a prepared folder can be replayed.
#include "port/serial_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "port/port_name_list.h"

namespace {

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// Every tty of a real device has a `device` link; consoles, virtual
// terminals and pseudo-terminals have none.
bool HasDeviceLink(const std::string& ttyEntry) {
  struct stat info;
  return lstat((ttyEntry + "/device").c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsUartFamily(const char* name) {
  return std::strncmp(name, "ttyS", 4) == 0 && std::isdigit(static_cast<unsigned char>(name[4]));
}

// The 8250 driver announces ttyS entries for every UART slot it reserves,
// whether or not a chip is there; only an answered TIOCGSERIAL with a known
// UART type shows a real one. Opened non-blocking so no modem line is waited on.
bool HasRealUart(const std::string& devicePath) {
  int fd = open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct serial_struct serial;
  std::memset(&serial, 0, sizeof serial);
  bool real = ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
  close(fd);
  return real;
}

void AppendSysfsSerialDevices() {
  std::string classTty = EnvOr("TARVO6_SYSFS", "/sys") + "/class/tty";
  std::string devDir = EnvOr("TARVO6_DEVDIR", "/dev");
  struct dirent** entries = nullptr;
  int count = scandir(classTty.c_str(), &entries, nullptr, alphasort);
  if (count < 0) return;
  for (int i = 0; i < count; ++i) {
    const char* name = entries[i]->d_name;
    if (name[0] != '.' && HasDeviceLink(classTty + "/" + name) &&
        (!IsUartFamily(name) || HasRealUart(devDir + "/" + name))) {
      PortNameAppend(name, std::strlen(name));
    }
    std::free(entries[i]);
  }
  std::free(entries);
}

}  // namespace

void SerialNamesAppend() {
  AppendSysfsSerialDevices();
  OfferedNamesAppend();
}
