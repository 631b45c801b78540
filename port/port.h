// Ports addressed by name: the byte operations the link and the connect
// procedure use. A handle is 1..32 (slot index + 1); 0 means no port, and every
// operation given 0 or the handle of a closed slot does nothing and returns its
// empty result.
#pragma once
#include <cstdint>

// Starts and stops the layer: the table is zeroed and port.out opened on start;
// ports still open on stop stay usable, but nothing new opens until restarted.
void PortLayerStart();
void PortLayerStop();

// Opens the port called name: "STUB", a TCP name (tcp_name.h) or a serial
// device. 0 on success with *handle set; 1 all slots in use, 3 empty name,
// 9 layer not started, -1 TCP name malformed or set-up failed, otherwise the
// platform's error code from the serial device (*handle set to 0).
int PortOpen(uint16_t* handle, const char* name);
// The name the port was opened by; "" for no port.
const char* PortNameOf(uint16_t handle);

// Why the last PortOpen failed, in terms the operator can act on.
enum class PortOpenFailure {
  Opened,            // the last open succeeded
  Busy,              // another program (or this one) holds the device or TCP port
  NotFound,          // no such device, or a TCP address that is not this machine's
  PermissionDenied,  // the user may not open the device
  MalformedTcpName,  // a TCP name outside the grammar, or a port outside 1..65535
  Other,
};
PortOpenFailure PortLastOpenFailure();
// Closes the port; always 1.
int PortClose(uint16_t handle);

void PortWrite(uint16_t handle, const uint8_t* bytes, int count);
void PortWriteByte(uint16_t handle, uint8_t byte);
// Number of received bytes waiting (0 when none or no port).
int PortAvailable(uint16_t handle);
// Takes exactly count waiting bytes into dest: 1, or 0 and nothing taken.
int PortRead(uint16_t handle, uint8_t* dest, int count);
// Waits until the port may have received something new, at most ms: returns
// at once when bytes are already waiting in the driver. Ports that cannot be
// waited on (TCP, STUB) just let ms pass, at most 1 ms. For polling loops
// that would otherwise spin.
void PortWaitReadable(uint16_t handle, int ms);
// Waits until at least count received bytes are waiting, the line is lost, or
// ms have passed; returns at once when they are already there. The bytes are
// taken in as they arrive, so the wait sleeps between them instead of waking
// on a fixed period. For a reply of known length: one call instead of a loop
// of short waits. A TCP port is waited on in steps of 1 ms (its connection
// and its peer are advanced by the byte operations); STUB and a handle that
// names no port let ms pass.
void PortWaitFor(uint16_t handle, int count, int ms);
// 1 when nothing is left to transmit.
int PortTxEmpty(uint16_t handle);
// Drops every received byte not yet read.
void PortClear(uint16_t handle);
// The same, saying why for the wire trace ("while the line settled").
void PortClearFor(uint16_t handle, const char* why);
// 1 once the port's line has hung up or failed (an unplugged adapter, a peer
// that closed its pseudo-terminal): its device is closed, every byte
// operation does nothing, and no reply will ever come on it. It stays so until
// PortClose. 0 for a live port and for handles that name no open port.
int PortLost(uint16_t handle);
