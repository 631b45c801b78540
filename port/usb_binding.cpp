#include "port/usb_binding.h"

#include "port/discovery.h"
#include "port/dynamic_library.h"

namespace {

constexpr int kUnbound = -2;

bool bound = false;
UsbInitFn initFn = nullptr;
UsbFindBussesFn findBussesFn = nullptr;
UsbFindDevicesFn findDevicesFn = nullptr;
UsbGetBussesFn getBussesFn = nullptr;
UsbOpenFn openFn = nullptr;
UsbCloseFn closeFn = nullptr;
UsbGetStringSimpleFn getStringSimpleFn = nullptr;
UsbControlMsgFn controlMsgFn = nullptr;

template <typename Fn>
void Bind(void* library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(DynamicLibrarySymbol(library, name));
}

// GET_DESCRIPTOR of a string descriptor, standard request, device to host.
constexpr int kGetDescriptorIn = 0x80;
constexpr int kGetDescriptor = 6;
constexpr int kStringDescriptorType = 3;
constexpr int kLanguageUsEnglish = 0x0409;
constexpr int kDescriptorTimeoutMs = 5000;
constexpr int kDescriptorBufferSize = 256;

}  // namespace

int UsbInit() {
  if (initFn == nullptr) return kUnbound;
  initFn();
  return 0;
}
int UsbFindBusses() { return findBussesFn != nullptr ? findBussesFn() : kUnbound; }
int UsbFindDevices() { return findDevicesFn != nullptr ? findDevicesFn() : kUnbound; }
usb_bus* UsbGetBusses() { return getBussesFn != nullptr ? getBussesFn() : nullptr; }
usb_dev_handle* UsbOpen(usb_device* device) {
  return openFn != nullptr ? openFn(device) : nullptr;
}
int UsbClose(usb_dev_handle* handle) { return closeFn != nullptr ? closeFn(handle) : kUnbound; }
int UsbGetStringSimple(usb_dev_handle* handle, int index, char* buf, size_t bufLength) {
  return getStringSimpleFn != nullptr ? getStringSimpleFn(handle, index, buf, bufLength)
                                      : kUnbound;
}
int UsbControlMsg(usb_dev_handle* handle, int requestType, int request, int value, int index,
                  char* bytes, int size, int timeoutMs) {
  return controlMsgFn != nullptr
             ? controlMsgFn(handle, requestType, request, value, index, bytes, size, timeoutMs)
             : kUnbound;
}

int UsbBind() {
  if (bound) return 1;
  void* library = DynamicLibraryLoad(UsbLibraryFile());
  if (library != nullptr) {
    Bind(library, "usb_init", initFn);
    Bind(library, "usb_find_busses", findBussesFn);
    Bind(library, "usb_find_devices", findDevicesFn);
    Bind(library, "usb_get_busses", getBussesFn);
    Bind(library, "usb_open", openFn);
    Bind(library, "usb_close", closeFn);
    Bind(library, "usb_get_string_simple", getStringSimpleFn);
    Bind(library, "usb_control_msg", controlMsgFn);
  }
  UsbInit();
  UsbFindBusses();
  UsbFindDevices();
  bound = true;
  return 1;
}

void UsbForgetBindingForTests() {
  bound = false;
  initFn = nullptr;
  findBussesFn = nullptr;
  findDevicesFn = nullptr;
  getBussesFn = nullptr;
  openFn = nullptr;
  closeFn = nullptr;
  getStringSimpleFn = nullptr;
  controlMsgFn = nullptr;
}

int UsbGetString(void* deviceHandle, int index, char* buf, int bufLength) {
  // Not even the terminating NUL would fit.
  if (buf == nullptr || bufLength < 1) return 0;
  auto* handle = static_cast<usb_dev_handle*>(deviceHandle);
  int result = UsbGetStringSimple(handle, index, buf, static_cast<size_t>(bufLength));
  if (result >= 0) return result;

  // The device's own string support failed: read the descriptor itself. The
  // buffer starts zeroed so a short answer reads as no descriptor rather than
  // as leftover bytes.
  unsigned char descriptor[kDescriptorBufferSize] = {};
  result = UsbControlMsg(handle, kGetDescriptorIn, kGetDescriptor,
                         (kStringDescriptorType << 8) + index, kLanguageUsEnglish,
                         reinterpret_cast<char*>(descriptor), kDescriptorBufferSize,
                         kDescriptorTimeoutMs);
  if (result < 0) return result;
  if (descriptor[1] != kStringDescriptorType) {
    buf[0] = '\0';
    return 0;
  }
  // UTF-16LE units; the two-byte header counts as the first unit. A unit
  // outside one byte has no single-byte form and shows as '?'.
  int units = (result < descriptor[0] ? result : descriptor[0]) / 2;
  int copied = 0;
  for (int unit = 1; unit < units && copied < bufLength - 1; ++unit) {
    unsigned char low = descriptor[2 * unit];
    unsigned char high = descriptor[2 * unit + 1];
    buf[copied++] = high != 0 ? '?' : static_cast<char>(low);
  }
  buf[copied] = '\0';
  return copied;
}
