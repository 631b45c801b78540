// The wire trace: every frame the tool sends and every reply it takes or
// drops, one line each, with the milliseconds since the trace began, the port,
// the direction, the bytes in hex and the exchange in words:
//
//      1234.567 /dev/ttyS0 tx 60 01 48 69 00 00 31 00 00 00 18 49  | to 01: read 24 bytes at 0:003100
//      1310.002 /dev/ttyS0 rx 0A 0B ...  | 24 bytes + checksum
//      2311.000 /dev/ttyS0 -- no reply after 1000 ms
//
// Requests are decoded from the bytes sent by the same FrameDecoder and words
// as dispenser-sim's trace; replies are described after the request they
// answer. Off until started: then the port layer pays one pointer test per
// operation. Past the size limit the file is moved to FILE.1 and begun anew.
#pragma once
#include <cstdint>

constexpr long long kWireTraceLimitBytes = 10LL * 1024 * 1024;

// Starts tracing to path (appended to, or made); false when it cannot be
// opened, with why in *error when given (an errno value, or
// kErrorNotRegularFile of util/regular_file.h). Only a regular file is
// opened, and the open never waits (a FIFO without a reader is refused).
bool WireTraceStart(const char* path, long long limitBytes = kWireTraceLimitBytes,
                    int* error = nullptr);

// What ends a trace that was started; the trace is then off for the rest of
// the run (the tool goes on without it), and the sink is told once.
enum class WireTraceTrouble {
  kCannotWrite,   // path could not be written or reopened (error: an errno value)
  kBackupInTheWay,  // at the size limit path (FILE.1) is not a regular file: left alone
};
using WireTraceTroubleSink = void (*)(WireTraceTrouble trouble, const char* path, int error);
// nullptr: nobody is told.
void SetWireTraceTroubleSink(WireTraceTroubleSink sink);
// Writes out what is pending and closes the file.
void WireTraceStop();
bool WireTraceOn();

// The link's own words, for what no byte shows.
void WireTraceNoReply(uint16_t port, int ms);
