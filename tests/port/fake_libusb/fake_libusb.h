// A stand-in libusb 0.1 for the discovery tests: a shared library with the
// real library's function names and structure layouts, presenting the buses
// and devices a test sets up, and checking every request it is sent. Built a
// second time without usb_get_string_simple, as an older library might be.
#pragma once
#include <cstdint>
#include <string>

struct FakeUsbDevice {
  uint16_t vendor = 0x16C0;
  std::u16string manufacturer;   // empty: the device has no manufacturer string
  std::u16string product;        // empty: no product string
  bool openFails = false;
  bool simpleStringFails = false;      // usb_get_string_simple fails; the descriptor answers
  uint8_t stringDescriptorType = 3;    // what the descriptor claims to be
  uint32_t id = 0;
  int channels = 1;
  // Bytes the vendor requests answer with; negative: the request fails.
  int idAnswerLength = 8;
  int channelsAnswerLength = 1;
};

struct FakeUsbCounts {
  int init = 0;
  int findBusses = 0;
  int findDevices = 0;
  int opens = 0;
  int closes = 0;
  int badCalls = 0;   // requests a real device would refuse, or unknown handles
};

// No buses, counts zeroed.
void FakeUsbReset();
// Later devices go on a new bus.
void FakeUsbAddBus();
void FakeUsbAddDevice(const FakeUsbDevice& device);
FakeUsbCounts FakeUsbGetCounts();
