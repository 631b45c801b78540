// The libusb 0.1 binding behind UsbBind: every library call goes through one
// of these wrappers. A function the library lacks, or every function when no
// library was found, is not called: the wrapper gives -2, or null for UsbOpen
// and UsbGetBusses, so a scan without the library simply finds no bus.
#pragma once
#include <cstddef>

#include "port/libusb0_abi.h"

int UsbInit();   // 0 once called
int UsbFindBusses();
int UsbFindDevices();
usb_bus* UsbGetBusses();
usb_dev_handle* UsbOpen(usb_device* device);
int UsbClose(usb_dev_handle* handle);
int UsbGetStringSimple(usb_dev_handle* handle, int index, char* buf, size_t bufLength);
int UsbControlMsg(usb_dev_handle* handle, int requestType, int request, int value, int index,
                  char* bytes, int size, int timeoutMs);

// The file UsbBind loads (platform's own).
const char* UsbLibraryFile();

// Tests only: forgets the binding so that the next UsbBind loads and
// initialises again. A loaded library is not unloaded: its device lists live in
// it and are still reachable.
void UsbForgetBindingForTests();
