// Port discovery on Windows: serial names from the registry's SERIALCOMM key
// (under Wine, the COM ports Wine maps, those of the pty peer service among
// them), then the maker's USB devices through a libusb bound by LoadLibraryA.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "port/discovery.h"
#include "port/usb_binding.h"
#include "port/usb_maker.h"
#include "tests/port/fake_libusb/fake_libusb.h"

namespace {

const char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::vector<std::string> Listed() {
  return std::vector<std::string>(PortNameList.names, PortNameList.names + PortNameList.count);
}

// The port names SERIALCOMM holds, read here independently of discovery.
std::vector<std::string> RegistryPorts() {
  std::vector<std::string> ports;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
  for (DWORD i = 0;; i++) {
    char name[256];
    char data[256] = {};
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1;
    LONG r = RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS) ports.push_back(data);
  }
  RegCloseKey(key);
  return ports;
}

int ComNumber(const std::string& name) { return std::atoi(name.c_str() + 3); }

// Ports added to SERIALCOMM for one test and removed after it.
class ExtraRegistryPorts {
 public:
  ~ExtraRegistryPorts() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    for (const std::string& value : values_) RegDeleteValueA(key, value.c_str());
    RegCloseKey(key);
  }
  bool add(const std::string& port) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    std::string value = "\\Device\\TarvoTest" + std::to_string(values_.size());
    LONG r = RegSetValueExA(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                            DWORD(port.size() + 1));
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return false;
    values_.push_back(value);
    return true;
  }

 private:
  std::vector<std::string> values_;
};

class RegistryDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeUsbReset();
    UsbForgetBindingForTests();
  }
  void TearDown() override {
    _putenv_s("TARVO6_LIBUSB", "");
    _putenv_s("TARVO6_PORTS", "");
  }
  // Binds the stand-in libusb (a DLL beside the test) instead of libusb0.dll.
  void UseFakeUsb() { _putenv_s("TARVO6_LIBUSB", FAKE_LIBUSB_FILE); }
};

// Without libusb0.dll (Wine has none) the list is exactly the registry's
// ports, ordered by number: COM2 before COM10.
TEST_F(RegistryDiscovery, WithoutLibusbTheListIsExactlyTheRegistryPortsInNumberOrder) {
  _putenv_s("TARVO6_LIBUSB", "");
  ASSERT_EQ(DiscoverPorts(), 1);

  // Only the first 16 values are read, then sorted.
  std::vector<std::string> expected = RegistryPorts();
  ASSERT_FALSE(expected.empty());
  if (expected.size() > 16) expected.resize(16);
  std::sort(expected.begin(), expected.end(),
            [](const std::string& a, const std::string& b) { return ComNumber(a) < ComNumber(b); });
  EXPECT_EQ(Listed(), expected);

  // The ports the test run mapped onto ptys are among them.
  const char* mapped = std::getenv("TARVO_WINE_PEER_PORTS");
  if (mapped == nullptr) return;
  std::istringstream words(mapped);
  std::vector<std::string> listed = Listed();
  for (std::string port; words >> port;)
    EXPECT_NE(std::find(listed.begin(), listed.end(), port), listed.end()) << port;
  auto com2 = std::find(listed.begin(), listed.end(), "COM2");
  auto com10 = std::find(listed.begin(), listed.end(), "COM10");
  EXPECT_LT(com2, com10);
}

// A name cut short would name another port: a long one is listed whole, one
// longer than an entry holds is left out.
TEST_F(RegistryDiscovery, AnAddedPortTakesItsPlaceAndALongNameIsListedWholeOrNotAtAll) {
  ExtraRegistryPorts extra;
  if (!extra.add("COM3")) GTEST_SKIP() << "SERIALCOMM cannot be written here";
  ASSERT_TRUE(extra.add("COM1234567890ABCDEFGHIJ"));
  const std::string tooLong = "COM" + std::string(kListedNameSize, '7');
  ASSERT_TRUE(extra.add(tooLong));
  ASSERT_EQ(DiscoverPorts(), 1);

  std::vector<std::string> listed = Listed();
  ASSERT_LE(listed.size(), 16u);
  EXPECT_NE(std::find(listed.begin(), listed.end(), "COM1234567890ABCDEFGHIJ"), listed.end());
  for (const std::string& name : listed) EXPECT_EQ(name.find("COM777"), std::string::npos) << name;
  auto com3 = std::find(listed.begin(), listed.end(), "COM3");
  ASSERT_NE(com3, listed.end());
  for (auto it = listed.begin(); it != listed.end(); ++it) {
    if (it->compare(0, 3, "COM") != 0) continue;
    EXPECT_EQ(it < com3, ComNumber(*it) < 3) << *it;
  }
}

// TARVO6_PORTS reaches a controller over TCP without a virtual-port driver:
// its names join the registry's, sorted with them (COM before S before T).
TEST_F(RegistryDiscovery, NamesOfferedInTarvo6PortsJoinTheRegistryPorts) {
  _putenv_s("TARVO6_LIBUSB", "");
  _putenv_s("TARVO6_PORTS", " TCPC_127.0.0.1:4001\tSTUB ");
  const std::vector<std::string> registry = RegistryPorts();
  if (registry.size() > 14) GTEST_SKIP() << "no room for two offered names after the registry ports";
  ASSERT_EQ(DiscoverPorts(), 1);

  std::vector<std::string> listed = Listed();
  ASSERT_EQ(listed.size(), registry.size() + 2);
  EXPECT_EQ(listed[registry.size()], "STUB");
  EXPECT_EQ(listed[registry.size() + 1], "TCPC_127.0.0.1:4001");
}

// libusb bound by LoadLibraryA / GetProcAddress from a real DLL: the maker's
// converter is listed by its id and two channels, after the COM ports.
TEST_F(RegistryDiscovery, UsbChannelsOfABoundLibraryFollowTheRegistryPorts) {
  FakeUsbDevice converter;
  converter.manufacturer = std::u16string(kMakerManufacturer, kMakerManufacturer + sizeof kMakerManufacturer - 1);
  converter.product = u"LinkX2";
  converter.id = 1234;
  converter.channels = 2;
  FakeUsbAddDevice(converter);
  UseFakeUsb();
  const size_t registry = RegistryPorts().size();
  if (registry > 14) GTEST_SKIP() << "no room for two USB channels after the registry ports";
  ASSERT_EQ(DiscoverPorts(), 1);

  std::vector<std::string> listed = Listed();
  ASSERT_EQ(listed.size(), registry + 2);
  EXPECT_EQ(listed[registry], "U_1234_1");
  EXPECT_EQ(listed[registry + 1], "U_1234_2");
  EXPECT_EQ(FakeUsbGetCounts().init, 1);
  EXPECT_EQ(FakeUsbGetCounts().opens, FakeUsbGetCounts().closes);
}

TEST_F(RegistryDiscovery, SixteenRegistryPortsLeaveNoPlaceForUsb) {
  ExtraRegistryPorts extra;
  for (int n = 60; RegistryPorts().size() < 16; n++)
    if (!extra.add("COM" + std::to_string(n))) GTEST_SKIP() << "SERIALCOMM cannot be written here";
  FakeUsbDevice key;
  key.manufacturer = std::u16string(kMakerManufacturer, kMakerManufacturer + sizeof kMakerManufacturer - 1);
  key.product = u"TokenX1";
  FakeUsbAddDevice(key);
  UseFakeUsb();
  ASSERT_EQ(DiscoverPorts(), 1);

  EXPECT_EQ(PortNameList.count, 16);
  for (const std::string& name : Listed()) EXPECT_EQ(name.compare(0, 3, "COM"), 0) << name;
  EXPECT_EQ(FakeUsbGetCounts().opens, 0);
}

}  // namespace
