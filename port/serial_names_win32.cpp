// Windows serial port names: the ports the system announces in the registry
// under HARDWARE\DEVICEMAP\SERIALCOMM, one value per port whose data is the
// port name (COM3). Windows NT 4 and older keep values named COM1 to COM99
// there instead of one per device driver, so they are asked for by name.
// The names offered in TARVO6_PORTS follow, as on Linux.
#include "port/serial_names.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "port/discovery.h"
#include "port/port_name_list.h"

namespace {

const char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A value's data is a NUL-terminated name; one too long for the list is left out.
void appendValueData(const char* data, DWORD size) {
  PortNameAppend(data, strnlen(data, size));
}

void appendEnumeratedValues(HKEY key) {
  for (DWORD index = 0; index < kPortNameListSize && !PortNameListFull(); index++) {
    char valueName[80];
    char data[80];
    DWORD nameSize = sizeof valueName;
    DWORD dataSize = sizeof data;
    std::memset(data, 0, sizeof data);
    // A value that cannot be read is skipped; the next index may still be.
    if (RegEnumValueA(key, index, valueName, &nameSize, nullptr, nullptr,
                      reinterpret_cast<BYTE*>(data), &dataSize) == ERROR_SUCCESS) {
      appendValueData(data, dataSize);
    }
  }
}

void appendNumberedValues(HKEY key) {
  for (int i = 1; i <= 99 && !PortNameListFull(); i++) {
    char valueName[8];
    std::snprintf(valueName, sizeof valueName, "COM%d", i);
    char data[32];
    DWORD dataSize = sizeof data;
    std::memset(data, 0, sizeof data);
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &dataSize) == ERROR_SUCCESS) {
      appendValueData(data, dataSize);
    }
  }
}

void appendRegistryNames() {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);

  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  if (version.dwMajorVersion > 4) {
    appendEnumeratedValues(key);
  } else {
    appendNumberedValues(key);
  }
  RegCloseKey(key);
}

}  // namespace

void SerialNamesAppend() {
  appendRegistryNames();
  OfferedNamesAppend();
}
