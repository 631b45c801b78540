// What a serial test asks of its platform beside the device it plays on the
// pty's other end (tests/support/pty_pair.h): the driver's queue, the line as
// the device sees it, and the few details one platform alone has. On Linux
// the pty is the test's own; under Wine the pty peer service holds it and Wine
// maps it to a COM port. serial_peer_posix.cpp, serial_peer_win32.cpp.
#pragma once
#include <cstdint>
#include <string>

#include "tests/support/pty_pair.h"

// The platform's error codes PortOpen hands back for a device that does not
// exist and for one this program holds already.
extern const int kNoSuchDeviceError;
extern const int kDeviceHeldError;
// A device that exists but is no serial line.
extern const char* const kNotASerialLine;

// Bytes the driver holds for reading that the port has not taken yet.
int DriverInputCount(uint16_t handle);
// The line as the device sees it: "<baud> <data bits> <N|E|O> <stop bits>
// <flow>", e.g. "4800 8 N 1 none".
std::string DeviceLineSettings(PtyPair& pty);
// Sets the line to another speed, 2 stop bits and every flow control, as an
// earlier program may leave it (a pty keeps 8 bits without parity whatever
// is asked of it).
void SetLineAsAnotherProgramLeftIt(PtyPair& pty);
// Checks what one platform alone sets on an open device (Linux: a raw line
// that never blocks a read; Windows: the driver's time-outs).
void ExpectPlatformLineDetails(uint16_t handle);

// Why a second open of an open device is not refused here, or nullptr when
// it is: Wine does not enforce exclusive opens.
const char* WhyASecondOpenIsNotRefused();
// PortOpen's result for path in another process, or kNotTriedElsewhere where
// the test cannot start one.
constexpr int kNotTriedElsewhere = -1000;
int PortOpenInAnotherProcess(const std::string& path);

// Whether the device of a lost line has been closed.
bool DeviceClosed(intptr_t device);
// CPU time of the calling thread, in seconds.
double ThreadCpuSeconds();
// Whether a USB serial adapter's latency timer is lowered while open (Linux).
bool LowersUsbLatencyTimer();
