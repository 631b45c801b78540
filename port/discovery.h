// The ports offered to the operator: the platform's serial ports and the
// channels of the maker's USB devices, at most 16 names in a fixed order.
#pragma once
#include <cstdint>

constexpr int kPortNameListSize = 16;
// Room for the longest TCP name (TCPS_255.255.255.255:65535@255.255.255.255)
// and a NUL.
constexpr int kListedNameSize = 48;

struct PortNameListType {
  char names[kPortNameListSize][kListedNameSize];
  int32_t count;
};
extern PortNameListType PortNameList;

// Device types found on the maker's USB devices.
enum UsbDeviceType : uint8_t {
  kUsbNone = 0, kUsbKey = 1, kUsbRs485 = 2, kUsbKeyboard = 3, kUsbRfid = 4, kUsbOther = 255
};

struct UsbDeviceRecord {
  uint8_t type;
  uint8_t channels;
  uint32_t id;    // 0xFFFFFFFF when it could not be read
};
// One record per list position, cleared before each USB scan; only
// DiscoverPorts writes them.
extern const UsbDeviceRecord (&UsbDevices)[kPortNameListSize];

// Loads libusb and initialises it, once per process; always 1.
int UsbBind();
// A string descriptor as single-byte text: length, or a negative error.
int UsbGetString(void* deviceHandle, int index, char* buf, int bufLength);
// Fills PortNameList; always 1.
int DiscoverPorts();
