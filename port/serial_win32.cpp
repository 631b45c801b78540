// Serial devices on Windows: a COM port opened exclusively through the device
// namespace, with reads that wait only when asked to (sleeping in the driver
// until a byte comes) and writes bounded by the driver's write time-out.
#include "port/serial_device.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "port/port_table.h"

namespace {

HANDLE asHandle(intptr_t device) { return reinterpret_cast<HANDLE>(device); }

// The error of the failed call, never 0: a failure must not read as success.
int lastErrorCode() {
  DWORD code = GetLastError();
  return code != 0 ? static_cast<int>(code) : ERROR_GEN_FAILURE;
}

// Closes a half-opened device and hands back the error that stopped the open.
int failOpen(HANDLE h) {
  int code = lastErrorCode();
  CloseHandle(h);
  return code;
}

constexpr DWORD kWriteMs = 20;
constexpr DWORD kWriteMsPerByte = 20;

// Reads return what the driver holds after at most a couple of milliseconds;
// a write gives up after 20 ms plus 20 ms per byte.
bool applyTimeouts(HANDLE h) {
  COMMTIMEOUTS t;
  std::memset(&t, 0, sizeof t);
  t.ReadIntervalTimeout = 2;
  t.ReadTotalTimeoutMultiplier = 2;
  t.ReadTotalTimeoutConstant = 2;
  t.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
  t.WriteTotalTimeoutConstant = kWriteMs;
  return SetCommTimeouts(h, &t) != 0;
}

// 4800 8N1 from a zeroed DCB rather than the port's current state, so nothing
// an earlier user left (flow control, DTR/RTS handshake, parity) survives:
// every field not set here means "off" or "none".
bool applyLineSettings(HANDLE h) {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 4800;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.ByteSize = 8;
  return SetCommState(h, &dcb) != 0;
}

// The driver's queue counts; false when the query fails.
bool queueStatus(intptr_t device, COMSTAT* status) {
  DWORD errors = 0;
  std::memset(status, 0, sizeof *status);
  return ClearCommError(asHandle(device), &errors, status) != 0;
}

}  // namespace

int SerialOpen(const char* name, intptr_t* device) {
  // The device-namespace prefix: without it only COM1 to COM9 can be opened.
  char path[kPortNameSize + 8];
  std::snprintf(path, sizeof path, "\\\\.\\%s", name);
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastErrorCode();
  if (!applyTimeouts(h) || !applyLineSettings(h)) return failOpen(h);
  *device = reinterpret_cast<intptr_t>(h);
  return 0;
}

PortOpenFailure SerialOpenFailure(int code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:  // the device is opened without sharing: someone holds it
    case ERROR_SHARING_VIOLATION:
      return PortOpenFailure::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PortOpenFailure::NotFound;
    default:
      return PortOpenFailure::Other;
  }
}

// A USB adapter pulled out leaves a handle on which the queue status fails.
bool SerialLineLost(intptr_t device) {
  COMSTAT status;
  return !queueStatus(device, &status);
}

void SerialClose(intptr_t device) { CloseHandle(asHandle(device)); }

int SerialInputCount(intptr_t device) {
  COMSTAT status;
  return queueStatus(device, &status) ? static_cast<int>(status.cbInQue) : 0;
}

int SerialOutputCount(intptr_t device) {
  COMSTAT status;
  return queueStatus(device, &status) ? static_cast<int>(status.cbOutQue) : 0;
}

int SerialRead(intptr_t device, uint8_t* dest, int count) {
  DWORD got = 0;
  if (!ReadFile(asHandle(device), dest, static_cast<DWORD>(count), &got, nullptr)) return 0;
  return static_cast<int>(got);
}

void SerialWrite(intptr_t device, const uint8_t* bytes, int count) {
  DWORD written = 0;
  WriteFile(asHandle(device), bytes, static_cast<DWORD>(count), &written, nullptr);
}

// Sleeps in the driver: a read of one byte under a total time-out of ms
// returns as that byte arrives, or empty at the end; what came with it is
// taken too. The device's usual time-outs are put back before returning. A
// queue status that fails is a line pulled out.
int SerialReadWaiting(intptr_t device, uint8_t* dest, int count, int ms) {
  COMSTAT status;
  if (!queueStatus(device, &status)) return -1;
  if (ms <= 0 || count <= 0 || status.cbInQue > 0) return SerialRead(device, dest, count);
  HANDLE h = asHandle(device);
  COMMTIMEOUTS t;
  std::memset(&t, 0, sizeof t);
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(ms);
  t.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
  t.WriteTotalTimeoutConstant = kWriteMs;
  if (!SetCommTimeouts(h, &t)) return -1;
  int got = SerialRead(device, dest, 1);
  applyTimeouts(h);
  if (got == 1 && count > 1) {
    const int queued = SerialInputCount(device);
    const int more = queued < count - 1 ? queued : count - 1;
    if (more > 0) got += SerialRead(device, dest + 1, more);
  }
  return got;
}

// Reads what the driver holds, as a poll would, and drops it.
void SerialDropInput(intptr_t device) {
  int waiting = SerialInputCount(device);
  if (waiting <= 0) return;
  std::vector<uint8_t> dropped(static_cast<size_t>(waiting));
  SerialRead(device, dropped.data(), waiting);
}
