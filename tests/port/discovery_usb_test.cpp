// The USB half of discovery against a stand-in libusb 0.1 presenting prepared
// buses and devices.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "port/discovery.h"
#include "port/usb_binding.h"
#include "port/usb_maker.h"
#include "tests/port/fake_libusb/fake_libusb.h"

namespace {

const std::u16string kMaker(kMakerManufacturer, kMakerManufacturer + sizeof kMakerManufacturer - 1);

FakeUsbDevice MakerDevice(const char16_t* product, uint32_t id, int channels) {
  FakeUsbDevice device;
  device.manufacturer = kMaker;
  device.product = product;
  device.id = id;
  device.channels = channels;
  return device;
}

std::vector<std::string> Listed() {
  return std::vector<std::string>(PortNameList.names, PortNameList.names + PortNameList.count);
}

class UsbDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TARVO6_LIBUSB", FAKE_LIBUSB_FILE, 1);
    setenv("TARVO6_SYSFS", "/nonexistent/tarvo6-sysfs", 1);   // no serial devices
    unsetenv("TARVO6_PORTS");
    FakeUsbReset();
    UsbForgetBindingForTests();
  }
  // Every device opened is closed again, and nothing unexpected was asked.
  void TearDown() override {
    FakeUsbCounts counts = FakeUsbGetCounts();
    EXPECT_EQ(counts.opens, counts.closes);
    EXPECT_EQ(counts.badCalls, 0);
  }
};

TEST_F(UsbDiscovery, ListsEveryProductOnEveryBusByIdAndChannels) {
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 11, 1));
  FakeUsbAddDevice(MakerDevice(u"LinkX2", 1234, 2));
  FakeUsbAddBus();
  FakeUsbAddDevice(MakerDevice(u"PadX3", 7, 1));
  FakeUsbAddDevice(MakerDevice(u"TagX4", 8, 3));   // more than two channels: still two names
  FakeUsbAddDevice(MakerDevice(u"GaugeX9", 0x01020304, 1));

  ASSERT_EQ(DiscoverPorts(), 1);

  EXPECT_EQ(Listed(), (std::vector<std::string>{"U_11", "U_1234_1", "U_1234_2", "U_16909060",
                                                "U_7", "U_8_1", "U_8_2"}));
  // The records stay in scan order: only the names are sorted.
  const uint8_t types[] = {kUsbKey, kUsbRs485, kUsbRs485, kUsbKeyboard, kUsbRfid, kUsbRfid, kUsbOther};
  const uint32_t ids[] = {11, 1234, 1234, 7, 8, 8, 0x01020304};
  const uint8_t channels[] = {1, 2, 2, 1, 3, 3, 1};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(UsbDevices[i].type, types[i]) << i;
    EXPECT_EQ(UsbDevices[i].id, ids[i]) << i;
    EXPECT_EQ(UsbDevices[i].channels, channels[i]) << i;
  }
  EXPECT_EQ(UsbDevices[7].type, kUsbNone);
  FakeUsbCounts counts = FakeUsbGetCounts();
  EXPECT_EQ(counts.init, 1);
  EXPECT_EQ(counts.findBusses, 1);
  EXPECT_EQ(counts.findDevices, 1);
}

TEST_F(UsbDiscovery, BindsOncePerProcess) {
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 5, 1));
  DiscoverPorts();
  DiscoverPorts();
  EXPECT_EQ(UsbBind(), 1);
  EXPECT_EQ(FakeUsbGetCounts().init, 1);
  EXPECT_EQ(FakeUsbGetCounts().findDevices, 1);
  EXPECT_EQ(Listed(), std::vector<std::string>{"U_5"});
}

TEST_F(UsbDiscovery, ZeroChannelKeyIsUkeyOnlyWhileNoKeyOrConverterIsListed) {
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 1, 0));
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 2, 0));   // the first entry came from a key
  FakeUsbAddDevice(MakerDevice(u"PadX3", 3, 1));
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"UKEY", "U_3"}));
  EXPECT_EQ(UsbDevices[0].type, kUsbKey);
  EXPECT_EQ(UsbDevices[0].channels, 0);

  FakeUsbReset();
  FakeUsbAddDevice(MakerDevice(u"LinkX2", 40, 2));
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 41, 0));   // a converter is listed already
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"U_40_1", "U_40_2"}));

  FakeUsbReset();
  FakeUsbAddDevice(MakerDevice(u"PadX3", 50, 1));    // a keyboard does not count
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 51, 0));
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"UKEY", "U_50"}));
}

TEST_F(UsbDiscovery, DeviceWhoseIdCannotBeReadIsListedWithAllOnesId) {
  FakeUsbDevice failing = MakerDevice(u"TokenX1", 12, 1);
  failing.idAnswerLength = -1;
  FakeUsbAddDevice(failing);
  FakeUsbDevice silent = MakerDevice(u"LinkX2", 13, 2);   // answers with no bytes
  silent.idAnswerLength = 0;
  FakeUsbAddDevice(silent);
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"U_4294967295", "U_4294967295_1",
                                                "U_4294967295_2"}));
  EXPECT_EQ(UsbDevices[0].id, 0xFFFFFFFFu);
}

TEST_F(UsbDiscovery, ShortIdAnswerLeavesTheMissingBytesZero) {
  FakeUsbDevice device = MakerDevice(u"TokenX1", 0x12345678, 1);
  device.idAnswerLength = 2;
  FakeUsbAddDevice(device);
  DiscoverPorts();
  EXPECT_EQ(Listed(), std::vector<std::string>{"U_22136"});   // 0x5678
}

TEST_F(UsbDiscovery, LeavesOutDevicesThatAreNotTheMakersOrDoNotAnswer) {
  FakeUsbDevice otherMaker = MakerDevice(u"TokenX1", 1, 1);
  otherMaker.manufacturer = u"Someone Else";
  FakeUsbAddDevice(otherMaker);
  FakeUsbDevice otherVendor = MakerDevice(u"TokenX1", 2, 1);
  otherVendor.vendor = 0x1234;
  FakeUsbAddDevice(otherVendor);
  FakeUsbDevice noManufacturer = MakerDevice(u"TokenX1", 3, 1);
  noManufacturer.manufacturer.clear();
  FakeUsbAddDevice(noManufacturer);
  FakeUsbDevice noProduct = MakerDevice(u"", 4, 1);
  FakeUsbAddDevice(noProduct);
  FakeUsbDevice unopenable = MakerDevice(u"TokenX1", 5, 1);
  unopenable.openFails = true;
  FakeUsbAddDevice(unopenable);
  FakeUsbDevice noChannelRequest = MakerDevice(u"TokenX1", 6, 1);
  noChannelRequest.channelsAnswerLength = -1;
  FakeUsbAddDevice(noChannelRequest);
  FakeUsbDevice noChannelAnswer = MakerDevice(u"TokenX1", 9, 1);
  noChannelAnswer.channelsAnswerLength = 0;
  FakeUsbAddDevice(noChannelAnswer);
  FakeUsbDevice notAString = MakerDevice(u"TokenX1", 7, 1);
  notAString.simpleStringFails = true;
  notAString.stringDescriptorType = 2;   // manufacturer reads as empty text
  FakeUsbAddDevice(notAString);
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 8, 1));

  DiscoverPorts();
  EXPECT_EQ(Listed(), std::vector<std::string>{"U_8"});
  // Every 0x16C0 device that opens is looked at; the other vendor's is not.
  EXPECT_EQ(FakeUsbGetCounts().opens, 7);
  EXPECT_EQ(UsbDevices[0].type, kUsbKey);
  EXPECT_EQ(UsbDevices[0].id, 8u);
}

TEST_F(UsbDiscovery, StringsAreReadFromTheDescriptorWhenTheSimpleReadFails) {
  FakeUsbDevice device = MakerDevice(u"LinkX2", 77, 1);
  device.simpleStringFails = true;
  FakeUsbAddDevice(device);
  DiscoverPorts();
  EXPECT_EQ(Listed(), std::vector<std::string>{"U_77"});
  EXPECT_EQ(UsbDevices[0].type, kUsbRs485);
}

TEST_F(UsbDiscovery, DescriptorTextKeepsSingleByteUnitsAndMarksOthers) {
  FakeUsbDevice device = MakerDevice(u"Tag\u0416X4\u00e9", 1, 1);
  device.simpleStringFails = true;
  FakeUsbAddDevice(device);
  UsbBind();
  usb_device* found = UsbGetBusses()->devices;
  usb_dev_handle* handle = UsbOpen(found);
  ASSERT_NE(handle, nullptr);
  int product = found->descriptor.iProduct;

  char text[256];
  EXPECT_EQ(UsbGetString(handle, product, text, sizeof text), 7);
  EXPECT_STREQ(text, "Tag?X4\xe9");
  char small[4];   // room for three characters and the NUL
  EXPECT_EQ(UsbGetString(handle, product, small, sizeof small), 3);
  EXPECT_STREQ(small, "Tag");
  // A string the device does not have: the descriptor read's own error.
  EXPECT_LT(UsbGetString(handle, 9, text, sizeof text), 0);
  UsbClose(handle);
}

TEST_F(UsbDiscovery, OnePlaceLeftTakesOnlyTheFirstChannelOfAConverter) {
  setenv("TARVO6_PORTS", "P01 P02 P03 P04 P05 P06 P07 P08 P09 P10 P11 P12 P13 P14 P15", 1);
  FakeUsbAddDevice(MakerDevice(u"LinkX2", 1234, 2));
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 99, 1));
  DiscoverPorts();
  ASSERT_EQ(PortNameList.count, 16);
  EXPECT_EQ(Listed().back(), "U_1234_1");
  EXPECT_EQ(FakeUsbGetCounts().opens, 1);   // the list was full before the key
}

TEST_F(UsbDiscovery, SixteenSerialNamesOpenNoUsbDevice) {
  setenv("TARVO6_PORTS",
         "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 COM13 COM14 COM15 COM16",
         1);
  FakeUsbAddDevice(MakerDevice(u"TokenX1", 1, 1));
  DiscoverPorts();
  EXPECT_EQ(PortNameList.count, 16);
  EXPECT_EQ(FakeUsbGetCounts().opens, 0);
  EXPECT_EQ(FakeUsbGetCounts().init, 0);   // the library is not even bound
}

}  // namespace
