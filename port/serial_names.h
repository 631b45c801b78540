// The platform's own serial ports, the first source of PortNameList.
#pragma once

// Appends the serial port names the platform announces, in its order, until
// the list is full. Each platform has its own source: on Linux the serial
// devices of sysfs, on Windows the registry's SERIALCOMM ports; then, on
// both, the names given in TARVO6_PORTS.
void SerialNamesAppend();

// Appends the blank-separated names of TARVO6_PORTS until the list is full.
void OfferedNamesAppend();
