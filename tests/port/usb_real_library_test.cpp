// Binds the machine's own libusb 0.1 (Debian's libusb-0.1-4) and scans with
// it: proves the names and the structure layouts against the real library.
#include <gtest/gtest.h>

#include <cstdlib>

#include "port/discovery.h"
#include "port/usb_binding.h"

TEST(RealUsbLibrary, IsBoundAndScanned) {
  unsetenv("TARVO6_LIBUSB");
  setenv("TARVO6_SYSFS", "/nonexistent/tarvo6-sysfs", 1);
  setenv("TARVO6_PORTS", "STUB", 1);

  ASSERT_EQ(UsbBind(), 1);
  // An unbound usb_find_devices would give -2; the library's gives the
  // number of changes, 0 on a second call.
  EXPECT_EQ(UsbFindDevices(), 0);

  EXPECT_EQ(DiscoverPorts(), 1);
  // Whatever buses the machine has, none of the maker's devices is on them.
  int buses = 0;
  for (usb_bus* bus = UsbGetBusses(); bus != nullptr; bus = bus->next) {
    ++buses;
    for (usb_device* device = bus->devices; device != nullptr; device = device->next) {
      EXPECT_NE(device->descriptor.idVendor, 0x16C0);
    }
  }
  RecordProperty("usb_buses", buses);
  EXPECT_EQ(PortNameList.count, 1);
  EXPECT_STREQ(PortNameList.names[0], "STUB");
}
