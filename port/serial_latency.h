// A USB serial adapter hands received bytes over in bursts, up to its latency
// timer after the first: every reply then comes that much later. Where the
// system lets the tool ask for the bytes at once, it asks while the port is
// open and gives the device its own setting back on close. A device that
// cannot be asked (a pseudo-terminal, a built-in port, a driver that refuses)
// is left as it is, without a word.
#pragma once

// fd: the open device; path: its name as opened (/dev/ttyUSB0, or a link).
void SerialAskLowLatency(int fd, const char* path);
// Gives back what SerialAskLowLatency changed on fd, before fd is closed.
void SerialGiveBackLatency(int fd);
