#include <cstdlib>

#include "port/usb_binding.h"

// The libusb-win32 library. TARVO6_LIBUSB names another file to bind instead
// (the tests' own library presenting prepared devices).
const char* UsbLibraryFile() {
  const char* chosen = std::getenv("TARVO6_LIBUSB");
  return chosen != nullptr && *chosen != '\0' ? chosen : "libusb0.dll";
}
