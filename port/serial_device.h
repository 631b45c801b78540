// The serial device calls of the port layer. Each platform implements them in
// a file of its own (serial_posix.cpp here); the port table and the byte
// operations above see only these functions and the device they return.
#pragma once
#include <cstdint>

#include "port/port.h"

// Opens the device called name with exclusive access and the fixed line
// settings (4800 baud, 8 data bits, no parity, one stop bit, no flow control,
// reads that never wait). 0 with *device set, or the platform's error code
// with nothing left open.
int SerialOpen(const char* name, intptr_t* device);
// What a SerialOpen error code means to the operator.
PortOpenFailure SerialOpenFailure(int code);
// true when the line has hung up or failed: the device was unplugged, or the
// far end of a pseudo-terminal closed. Does not wait.
bool SerialLineLost(intptr_t device);
void SerialClose(intptr_t device);

// Bytes the driver holds for reading / still has to transmit; 0 when the
// query fails.
int SerialInputCount(intptr_t device);
int SerialOutputCount(intptr_t device);

// Sleeps on the device until input arrives or ms have passed, and reads what
// has come, up to count bytes (at once when the driver already holds some).
// The number read, 0 when the time passed with nothing, -1 when the wait
// found the line hung up or failed.
int SerialReadWaiting(intptr_t device, uint8_t* dest, int count, int ms);
// Reads up to count bytes without waiting; the number read, 0 on failure.
int SerialRead(intptr_t device, uint8_t* dest, int count);
// Hands the bytes to the driver, giving up after 20 ms + 20 ms per byte.
// Failed or short writes are not reported: the link notices the missing reply.
void SerialWrite(intptr_t device, const uint8_t* bytes, int count);
// Drops whatever the driver has received and not yet been read.
void SerialDropInput(intptr_t device);
