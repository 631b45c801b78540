// One table of operations per transport: the serial line, the TCP client,
// the TCP server and the null port each fill one, and PortOpen puts the one
// the name asks for into the slot. The byte operations of port.h then call
// through the slot's table and never ask which transport they run on.
#pragma once
#include <chrono>
#include <cstdint>

#include "port/port.h"

struct PortSlot;

// What a slot is; each table names its own.
enum class PortKind : uint8_t { Serial = 0, Stub = 3, TcpServer = 4, TcpClient = 6 };

using PortWaitClock = std::chrono::steady_clock;

struct PortOps {
  PortKind kind;
  // Sets the transport up on a zeroed slot whose name is filled in:
  // kPortOpened, or the status PortOpen returns (kPortTcpOpenFailed, or the
  // platform's code for a serial device), with *failure saying why.
  int (*open)(PortSlot& slot, const char* name, PortOpenFailure* failure);
  // Closes whatever open left open.
  void (*close)(PortSlot& slot);
  // Advances the port's connection (a client's connect, a server's accept)
  // before each byte operation; the number of connections it turned away.
  // nullptr for ports that have no connection to advance.
  int (*step)(PortSlot& slot);
  // Moves what the platform holds for the port into its ring. nullptr for a
  // port that never receives: it has nothing to count, take or clear.
  void (*receive)(PortSlot& slot);
  // Hands the bytes to the platform; what cannot go is dropped unreported.
  void (*send)(PortSlot& slot, const uint8_t* bytes, int count);
  // Drops what the platform still holds beyond the ring (after the ring's own).
  void (*dropInput)(PortSlot& slot);
  // 1 when nothing is left to transmit.
  int (*txEmpty)(PortSlot& slot);
  // 1 once the line is gone for good (PortLost).
  int (*lost)(PortSlot& slot);
  // Waits at most ms for the port to have received something new.
  void (*waitReadable)(PortSlot& slot, int ms);
  // Waits until count bytes are in the ring, the line is lost or until has
  // come. nullptr: waitReadable sleeps between the port's byte operations,
  // which also advance its connection.
  void (*waitFor)(PortSlot& slot, int count, PortWaitClock::time_point until);
};

extern const PortOps kSerialPortOps;
extern const PortOps kTcpClientPortOps;
extern const PortOps kTcpServerPortOps;
extern const PortOps kNullPortOps;

// A wait sleeps on the line at most this long at a time, so a program told to
// end (a console's Ctrl+C comes on a thread of its own) ends soon.
constexpr int kPortWaitSliceMs = 100;

// Whole milliseconds still to wait, rounded up so no wait ends early.
int PortMsUntil(PortWaitClock::time_point until);
// Lets one millisecond pass: the wait of a port that cannot be waited on.
void PortSleepOneMs();
