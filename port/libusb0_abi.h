// The parts of the libusb 0.1 interface the USB scan reads, laid out exactly
// as the library lays them out (Linux, x86_64): the library is bound at run
// time, so the build does not need its header. Fields the scan never reads are
// kept only to hold the offsets of those it does.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

// The Linux library's path buffers are PATH_MAX + 1 characters, PATH_MAX being
// 4096 (the Windows build of the library uses a shorter buffer).
constexpr int kLibusbPathMax = 4096;

struct usb_device_descriptor {
  uint8_t bLength;
  uint8_t bDescriptorType;
  uint16_t bcdUSB;
  uint8_t bDeviceClass;
  uint8_t bDeviceSubClass;
  uint8_t bDeviceProtocol;
  uint8_t bMaxPacketSize0;
  uint16_t idVendor;
  uint16_t idProduct;
  uint16_t bcdDevice;
  uint8_t iManufacturer;
  uint8_t iProduct;
  uint8_t iSerialNumber;
  uint8_t bNumConfigurations;
} __attribute__((packed));

struct usb_bus;
struct usb_config_descriptor;   // never read by the scan
struct usb_dev_handle;          // opaque: only handed back to the library

struct usb_device {
  usb_device* next;
  usb_device* prev;
  char filename[kLibusbPathMax + 1];
  usb_bus* bus;
  usb_device_descriptor descriptor;
  usb_config_descriptor* config;
  void* dev;
  uint8_t devnum;
  unsigned char num_children;
  usb_device** children;
};

struct usb_bus {
  usb_bus* next;
  usb_bus* prev;
  char dirname[kLibusbPathMax + 1];
  usb_device* devices;
  uint32_t location;
  usb_device* root_dev;
};

}  // extern "C"

// The function types, by the library's own signatures.
using UsbInitFn = void (*)();
using UsbFindBussesFn = int (*)();
using UsbFindDevicesFn = int (*)();
using UsbGetBussesFn = usb_bus* (*)();
using UsbOpenFn = usb_dev_handle* (*)(usb_device*);
using UsbCloseFn = int (*)(usb_dev_handle*);
using UsbGetStringSimpleFn = int (*)(usb_dev_handle*, int index, char* buf, size_t buflen);
using UsbControlMsgFn = int (*)(usb_dev_handle*, int requesttype, int request, int value,
                                int index, char* bytes, int size, int timeout);

// Offsets the Linux x86_64 library really has; a 64-bit build that moves them
// would read the device list wrongly.
static_assert(sizeof(usb_device_descriptor) == 18, "descriptor is packed to 18 bytes");
static_assert(sizeof(void*) != 8 || offsetof(usb_device, descriptor) == 4128,
              "libusb 0.1 usb_device layout");
static_assert(sizeof(void*) != 8 || offsetof(usb_bus, devices) == 4120,
              "libusb 0.1 usb_bus layout");
