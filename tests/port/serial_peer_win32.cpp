// The serial tests' platform side on Windows, run under Wine: the port is a
// COM port Wine maps onto a pty that the pty peer service holds, and the
// service reads that pty's line for the test.
#include <windows.h>

#include <gtest/gtest.h>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/port/serial_peer.h"
#include "tests/support/peer_service_win32.h"

const int kNoSuchDeviceError = ERROR_FILE_NOT_FOUND;
const int kDeviceHeldError = ERROR_ACCESS_DENIED;
const char* const kNotASerialLine = "NUL";

namespace {

HANDLE deviceOf(uint16_t handle) { return reinterpret_cast<HANDLE>(PortSlotOf(handle)->serial.device); }

}  // namespace

int DriverInputCount(uint16_t handle) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(deviceOf(handle), &errors, &status)) return -1;
  return static_cast<int>(status.cbInQue);
}

std::string DeviceLineSettings(PtyPair& pty) { return AskPeerService(pty.master(), "LINE"); }

void SetLineAsAnotherProgramLeftIt(PtyPair& pty) {
  const std::string path = "\\\\.\\" + pty.slavePath();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = 9600;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fOutX = dcb.fInX = 1;
  dcb.fOutxCtsFlow = 1;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  SetCommState(h, &dcb);
  CloseHandle(h);
}

void ExpectPlatformLineDetails(uint16_t handle) {
  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(deviceOf(handle), &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 2u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 2u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 20u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 20u);
}

const char* WhyASecondOpenIsNotRefused() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return wine ? "Wine does not enforce exclusive opens of a device" : nullptr;
}

// A device opened without sharing is refused to every process alike; the
// test has no second program to start for it.
int PortOpenInAnotherProcess(const std::string&) { return kNotTriedElsewhere; }

bool DeviceClosed(intptr_t device) {
  DWORD flags = 0;
  return !GetHandleInformation(reinterpret_cast<HANDLE>(device), &flags);
}

double ThreadCpuSeconds() {
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& f) {
    return ((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

bool LowersUsbLatencyTimer() { return false; }
