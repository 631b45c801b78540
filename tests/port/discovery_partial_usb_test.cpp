// Discovery against a libusb 0.1 that lacks usb_get_string_simple: the
// missing call stays unbound and the strings come from the descriptors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "port/discovery.h"
#include "port/usb_binding.h"
#include "port/usb_maker.h"
#include "tests/port/fake_libusb/fake_libusb.h"

TEST(PartialUsbLibrary, MissingFunctionStaysUnboundAndDescriptorsAreRead) {
  setenv("TARVO6_LIBUSB", FAKE_LIBUSB_FILE, 1);
  setenv("TARVO6_SYSFS", "/nonexistent/tarvo6-sysfs", 1);
  unsetenv("TARVO6_PORTS");
  FakeUsbDevice device;
  device.manufacturer.assign(kMakerManufacturer, kMakerManufacturer + sizeof kMakerManufacturer - 1);
  device.product = u"TagX4";
  device.id = 321;
  device.channels = 1;
  FakeUsbAddDevice(device);

  EXPECT_EQ(DiscoverPorts(), 1);
  ASSERT_EQ(PortNameList.count, 1);
  EXPECT_STREQ(PortNameList.names[0], "U_321");
  EXPECT_EQ(UsbDevices[0].type, kUsbRfid);
  char text[8];
  EXPECT_EQ(UsbGetStringSimple(nullptr, 1, text, sizeof text), -2);
  FakeUsbCounts counts = FakeUsbGetCounts();
  EXPECT_EQ(counts.init, 1);   // the rest of the library is bound
  EXPECT_EQ(counts.opens, 1);
  EXPECT_EQ(counts.closes, 1);
  EXPECT_EQ(counts.badCalls, 0);
}
