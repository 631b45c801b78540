#include "tests/port/fake_libusb/fake_libusb.h"

#include <cstring>
#include <memory>
#include <vector>

#include "port/libusb0_abi.h"

namespace {

constexpr int kIndexManufacturer = 1;
constexpr int kIndexProduct = 2;
constexpr int kErrorPipe = -32;
constexpr int kErrorIo = -5;

struct Device {
  FakeUsbDevice described;
  usb_device abi{};
};

struct Bus {
  usb_bus abi{};
  std::vector<std::unique_ptr<Device>> devices;
};

std::vector<std::unique_ptr<Bus>> buses;
FakeUsbCounts counts;
std::vector<std::unique_ptr<Device*>> openHandles;   // a handle is the address of one slot

void Link() {
  for (size_t b = 0; b < buses.size(); ++b) {
    Bus& bus = *buses[b];
    bus.abi.next = b + 1 < buses.size() ? &buses[b + 1]->abi : nullptr;
    bus.abi.prev = b > 0 ? &buses[b - 1]->abi : nullptr;
    bus.abi.devices = bus.devices.empty() ? nullptr : &bus.devices[0]->abi;
    for (size_t d = 0; d < bus.devices.size(); ++d) {
      usb_device& device = bus.devices[d]->abi;
      device.next = d + 1 < bus.devices.size() ? &bus.devices[d + 1]->abi : nullptr;
      device.prev = d > 0 ? &bus.devices[d - 1]->abi : nullptr;
      device.bus = &bus.abi;
    }
  }
}

Device* DeviceOf(usb_dev_handle* handle) {
  for (auto& slot : openHandles) {
    if (reinterpret_cast<usb_dev_handle*>(slot.get()) == handle) return *slot;
  }
  ++counts.badCalls;
  return nullptr;
}

const std::u16string* StringAt(const Device& device, int index) {
  if (index == kIndexManufacturer && !device.described.manufacturer.empty())
    return &device.described.manufacturer;
  if (index == kIndexProduct && !device.described.product.empty()) return &device.described.product;
  return nullptr;
}

int Answer(const void* bytes, int length, char* dest, int size) {
  int n = length < size ? length : size;
  std::memcpy(dest, bytes, static_cast<size_t>(n));
  return n;
}

int StringDescriptor(const Device& device, int index, char* dest, int size) {
  const std::u16string* text = StringAt(device, index);
  if (text == nullptr) return kErrorPipe;
  unsigned char descriptor[256] = {};
  size_t units = text->size() < 127 ? text->size() : 127;
  descriptor[0] = static_cast<unsigned char>(2 + 2 * units);
  descriptor[1] = device.described.stringDescriptorType;
  for (size_t i = 0; i < units; ++i) {
    descriptor[2 + 2 * i] = static_cast<unsigned char>((*text)[i] & 0xFF);
    descriptor[3 + 2 * i] = static_cast<unsigned char>((*text)[i] >> 8);
  }
  return Answer(descriptor, descriptor[0], dest, size);
}

}  // namespace

void FakeUsbReset() {
  buses.clear();
  openHandles.clear();
  counts = FakeUsbCounts{};
}

void FakeUsbAddBus() {
  buses.push_back(std::make_unique<Bus>());
  Link();
}

void FakeUsbAddDevice(const FakeUsbDevice& described) {
  if (buses.empty()) buses.push_back(std::make_unique<Bus>());
  auto device = std::make_unique<Device>();
  device->described = described;
  device->abi.descriptor.bLength = 18;
  device->abi.descriptor.bDescriptorType = 1;
  device->abi.descriptor.idVendor = described.vendor;
  device->abi.descriptor.iManufacturer = described.manufacturer.empty() ? 0 : kIndexManufacturer;
  device->abi.descriptor.iProduct = described.product.empty() ? 0 : kIndexProduct;
  buses.back()->devices.push_back(std::move(device));
  Link();
}

FakeUsbCounts FakeUsbGetCounts() { return counts; }

extern "C" {

void usb_init() { ++counts.init; }

int usb_find_busses() {
  ++counts.findBusses;
  return static_cast<int>(buses.size());
}

int usb_find_devices() {
  ++counts.findDevices;
  return 0;
}

usb_bus* usb_get_busses() {
  return buses.empty() ? nullptr : &buses[0]->abi;
}

usb_dev_handle* usb_open(usb_device* abi) {
  for (auto& bus : buses) {
    for (auto& device : bus->devices) {
      if (&device->abi != abi) continue;
      if (device->described.openFails) return nullptr;
      ++counts.opens;
      openHandles.push_back(std::make_unique<Device*>(device.get()));
      return reinterpret_cast<usb_dev_handle*>(openHandles.back().get());
    }
  }
  ++counts.badCalls;
  return nullptr;
}

int usb_close(usb_dev_handle* handle) {
  for (auto it = openHandles.begin(); it != openHandles.end(); ++it) {
    if (reinterpret_cast<usb_dev_handle*>(it->get()) == handle) {
      openHandles.erase(it);
      ++counts.closes;
      return 0;
    }
  }
  ++counts.badCalls;
  return -22;
}

#ifndef FAKE_LIBUSB_LACKS_SIMPLE_STRINGS
// As the real library does it: UTF-16 units outside one byte become '?'.
int usb_get_string_simple(usb_dev_handle* handle, int index, char* buf, size_t buflen) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return -22;
  if (device->described.simpleStringFails) return kErrorIo;
  const std::u16string* text = StringAt(*device, index);
  if (text == nullptr || buflen == 0) return kErrorPipe;
  size_t n = 0;
  for (; n < text->size() && n + 1 < buflen; ++n) {
    char16_t unit = (*text)[n];
    buf[n] = unit > 0xFF ? '?' : static_cast<char>(unit);
  }
  buf[n] = '\0';
  return static_cast<int>(n);
}
#endif

int usb_control_msg(usb_dev_handle* handle, int requesttype, int request, int value, int index,
                    char* bytes, int size, int timeout) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return -22;
  if (requesttype == 0x80 && request == 6 && (value >> 8) == 3 && index == 0x0409 &&
      size == 256 && timeout == 5000) {
    return StringDescriptor(*device, value & 0xFF, bytes, size);
  }
  if (requesttype == 0xC0 && request == 0x20 && value == 0 && index == 0 && size == 8 &&
      timeout == 1000) {
    if (device->described.idAnswerLength < 0) return kErrorPipe;
    unsigned char answer[8] = {};
    for (int i = 0; i < 4; ++i) answer[i] = static_cast<unsigned char>(device->described.id >> 8 * i);
    return Answer(answer, device->described.idAnswerLength, bytes, size);
  }
  if (requesttype == 0xC0 && request == 0x23 && value == 0 && index == 0 && size == 1 &&
      timeout == 1000) {
    if (device->described.channelsAnswerLength < 0) return kErrorPipe;
    unsigned char count = static_cast<unsigned char>(device->described.channels);
    return Answer(&count, device->described.channelsAnswerLength, bytes, size);
  }
  ++counts.badCalls;
  return kErrorPipe;
}

}  // extern "C"
