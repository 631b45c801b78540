// Discovery of the ports offered to the operator: the platform's serial ports,
// then one entry per serial channel of the maker's USB devices, in order.
#include "port/discovery.h"

#include <cstdio>
#include <cstring>

#include "port/port_name_list.h"
#include "port/serial_names.h"
#include "port/usb_binding.h"
#include "port/usb_maker.h"

namespace {
UsbDeviceRecord usbDevices[kPortNameListSize];
}  // namespace
const UsbDeviceRecord (&UsbDevices)[kPortNameListSize] = usbDevices;

namespace {

constexpr int kStringBufferSize = 256;
constexpr uint32_t kUnknownId = 0xFFFFFFFF;

uint8_t TypeOfProduct(const char* product) {
  if (std::strcmp(product, kProductKey) == 0) return kUsbKey;
  if (std::strcmp(product, kProductRs485) == 0) return kUsbRs485;
  if (std::strcmp(product, kProductKeyboard) == 0) return kUsbKeyboard;
  if (std::strcmp(product, kProductRfid) == 0) return kUsbRfid;
  return kUsbOther;
}

// The maker's devices say who made them and what they are; anything else
// with the shared vendor id is another maker's and is left alone.
bool ReadMakerProduct(usb_dev_handle* handle, const usb_device_descriptor& descriptor,
                      char (&product)[kStringBufferSize]) {
  char manufacturer[kStringBufferSize];
  if (descriptor.iManufacturer == 0 ||
      UsbGetString(handle, descriptor.iManufacturer, manufacturer, kStringBufferSize) < 0 ||
      std::strcmp(manufacturer, kMakerManufacturer) != 0) {
    return false;
  }
  return descriptor.iProduct != 0 &&
         UsbGetString(handle, descriptor.iProduct, product, kStringBufferSize) >= 0;
}

// The buffers start zeroed so a short answer never shows stale bytes.
uint32_t ReadDeviceId(usb_dev_handle* handle) {
  unsigned char answer[kRequestDeviceIdLength] = {};
  int got = UsbControlMsg(handle, kVendorRequestIn, kRequestDeviceId, 0, 0,
                          reinterpret_cast<char*>(answer), kRequestDeviceIdLength,
                          kVendorRequestTimeoutMs);
  if (got < 1) return kUnknownId;
  return answer[0] | answer[1] << 8 | answer[2] << 16 | static_cast<uint32_t>(answer[3]) << 24;
}

// The channel count, or -1 when the device does not answer.
int ReadChannelCount(usb_dev_handle* handle) {
  unsigned char answer[kRequestChannelsLength] = {};
  int got = UsbControlMsg(handle, kVendorRequestIn, kRequestChannels, 0, 0,
                          reinterpret_cast<char*>(answer), kRequestChannelsLength,
                          kVendorRequestTimeoutMs);
  return got < 1 ? -1 : answer[0];
}

bool KeyOrConverterListed() {
  for (int i = 0; i < PortNameList.count; ++i) {
    if (usbDevices[i].type == kUsbKey || usbDevices[i].type == kUsbRs485) return true;
  }
  return false;
}

void AppendUsbName(const char* format, uint32_t id) {
  char name[kListedNameSize];
  int length = std::snprintf(name, sizeof name, format, static_cast<unsigned long>(id));
  PortNameAppend(name, static_cast<size_t>(length));
}

// Lists the device's serial channels by its id: one channel as U_<id>, more
// as U_<id>_1 and U_<id>_2 (never more than two). A device without a channel
// is listed as UKEY, but only while no key or converter is listed before it,
// so a second such key adds nothing.
void ListMakerDevice(usb_device* device) {
  usb_dev_handle* handle = UsbOpen(device);
  if (handle == nullptr) return;
  char product[kStringBufferSize];
  if (!ReadMakerProduct(handle, device->descriptor, product)) {
    UsbClose(handle);
    return;
  }
  UsbDeviceRecord& record = usbDevices[PortNameList.count];
  record.type = TypeOfProduct(product);
  record.id = ReadDeviceId(handle);
  int channels = ReadChannelCount(handle);
  UsbClose(handle);
  if (channels < 0) {
    record = UsbDeviceRecord{};
    return;
  }
  record.channels = static_cast<uint8_t>(channels);

  if (channels == 1) {
    AppendUsbName("U_%lu", record.id);
  } else if (channels >= 2) {
    AppendUsbName("U_%lu_1", record.id);
    if (!PortNameListFull()) {
      usbDevices[PortNameList.count] = record;
      AppendUsbName("U_%lu_2", record.id);
    }
  } else if (!KeyOrConverterListed()) {
    PortNameAppend("UKEY", 4);
  } else {
    record = UsbDeviceRecord{};
  }
}

void AppendUsbChannels() {
  UsbBind();
  for (usb_bus* bus = UsbGetBusses(); bus != nullptr; bus = bus->next) {
    for (usb_device* device = bus->devices; device != nullptr && !PortNameListFull();
         device = device->next) {
      if (device->descriptor.idVendor == kMakerVendorId) ListMakerDevice(device);
    }
  }
}

}  // namespace

int DiscoverPorts() {
  PortNameList.count = 0;
  SerialNamesAppend();
  std::memset(usbDevices, 0, sizeof usbDevices);
  if (!PortNameListFull()) AppendUsbChannels();
  PortNameListSort();
  return 1;
}
