#include <cstdlib>

#include "port/usb_binding.h"

// Debian's libusb-0.1-4. TARVO6_LIBUSB names another file to bind instead
// (the tests' own library presenting prepared devices).
const char* UsbLibraryFile() {
  const char* chosen = std::getenv("TARVO6_LIBUSB");
  return chosen != nullptr && *chosen != '\0' ? chosen : "libusb-0.1.so.4";
}
