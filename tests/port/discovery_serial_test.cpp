// The serial half of discovery: sysfs replayed from a prepared folder, the
// names offered in TARVO6_PORTS, the list's limits and order, and discovery
// with no USB library to bind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "port/discovery.h"
#include "port/usb_binding.h"
#include "tests/support/pty_pair.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Listed() {
  return std::vector<std::string>(PortNameList.names, PortNameList.names + PortNameList.count);
}

class SerialDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo6-discovery-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "dev");
    setenv("TARVO6_SYSFS", (root_ / "sys").c_str(), 1);
    setenv("TARVO6_DEVDIR", (root_ / "dev").c_str(), 1);
    setenv("TARVO6_LIBUSB", "/nonexistent/libusb-0.1.so.4", 1);
    unsetenv("TARVO6_PORTS");
    UsbForgetBindingForTests();
  }
  void TearDown() override { fs::remove_all(root_); }

  // A tty entry as sysfs shows it, with or without the link to its device.
  void AddTty(const std::string& name, bool withDevice) {
    fs::path entry = root_ / "sys/class/tty" / name;
    fs::create_directories(entry);
    if (withDevice) fs::create_directory_symlink("../../devices/platform/" + name, entry / "device");
  }

  fs::path root_;
};

TEST_F(SerialDiscovery, ComNamesAreOrderedByTheirNumber) {
  setenv("TARVO6_PORTS", "COM10 COM2 COM1", 1);
  EXPECT_EQ(DiscoverPorts(), 1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"COM1", "COM2", "COM10"}));
}

TEST_F(SerialDiscovery, OtherNamesAreOrderedByteByByte) {
  setenv("TARVO6_PORTS", "  TCPC_10.0.0.9:4001\tSTUB COM3  ttyUSB0 COM21 ", 1);
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"COM3", "COM21", "STUB", "TCPC_10.0.0.9:4001",
                                                "ttyUSB0"}));
}

// A name cut short would open another endpoint (TCPC_127.0.0.1:50011 became
// port 5001): names that fit are listed whole, longer ones are left out and
// said so on standard error.
TEST_F(SerialDiscovery, LongNamesAreListedWholeOrLeftOutNeverCut) {
  const std::string longest = "TCPS_255.255.255.255:65535@255.255.255.255";
  const std::string tooLong = "/dev/serial/by-id/usb-0403_6001-if00-port0-extra";
  setenv("TARVO6_PORTS", ("TCPC_127.0.0.1:50011 " + tooLong + " " + longest).c_str(), 1);
  testing::internal::CaptureStderr();
  DiscoverPorts();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"TCPC_127.0.0.1:50011", longest}));
  EXPECT_NE(said.find(tooLong), std::string::npos) << said;
}

TEST_F(SerialDiscovery, WithoutUsbLibraryTheListIsExactlyTheSerialNames) {
  setenv("TARVO6_PORTS", "COM4 STUB", 1);
  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"COM4", "STUB"}));
  for (const UsbDeviceRecord& record : UsbDevices) EXPECT_EQ(record.type, kUsbNone);
  // Nothing was bound: every wrapper answers without calling anything.
  EXPECT_EQ(UsbInit(), -2);
  EXPECT_EQ(UsbFindBusses(), -2);
  EXPECT_EQ(UsbFindDevices(), -2);
  EXPECT_EQ(UsbGetBusses(), nullptr);
  EXPECT_EQ(UsbOpen(nullptr), nullptr);
  EXPECT_EQ(UsbClose(nullptr), -2);
  char text[8] = "unset";
  EXPECT_EQ(UsbGetString(nullptr, 1, text, sizeof text), -2);
  EXPECT_EQ(UsbControlMsg(nullptr, 0xC0, 0x20, 0, 0, text, 8, 1000), -2);
}

TEST_F(SerialDiscovery, SysfsListsTtysWithADeviceAndRealUartsOnly) {
  AddTty("ttyUSB0", true);
  AddTty("ttyACM1", true);
  AddTty("tty3", false);      // a virtual terminal
  AddTty("ptmx", false);
  // The 8250 driver's empty slots: ttyS0 is a terminal but no UART (a pty),
  // ttyS1 has no device file at all.
  AddTty("ttyS0", true);
  AddTty("ttyS1", true);
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  fs::create_symlink(pty.slavePath(), root_ / "dev/ttyS0");
  setenv("TARVO6_PORTS", "COM1", 1);

  DiscoverPorts();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"COM1", "ttyACM1", "ttyUSB0"}));
}

TEST_F(SerialDiscovery, SysfsNamesComeFirstAndTheListStopsAtSixteen) {
  AddTty("ttyUSB0", true);
  AddTty("ttyUSB1", true);
  std::string offered;
  for (int i = 1; i <= 15; ++i) offered += "P" + std::to_string(100 + i) + " ";
  setenv("TARVO6_PORTS", offered.c_str(), 1);

  DiscoverPorts();
  ASSERT_EQ(PortNameList.count, 16);
  std::vector<std::string> names = Listed();
  EXPECT_EQ(names.front(), "P101");
  EXPECT_EQ(names[13], "P114");     // P115 found no place
  EXPECT_EQ(names[14], "ttyUSB0");
  EXPECT_EQ(names[15], "ttyUSB1");
}

TEST_F(SerialDiscovery, MissingSysfsGivesOnlyTheOfferedNames) {
  setenv("TARVO6_SYSFS", (root_ / "absent").c_str(), 1);
  setenv("TARVO6_PORTS", "STUB", 1);
  DiscoverPorts();
  EXPECT_EQ(Listed(), std::vector<std::string>{"STUB"});
  unsetenv("TARVO6_PORTS");
  DiscoverPorts();
  EXPECT_EQ(PortNameList.count, 0);
}

}  // namespace
