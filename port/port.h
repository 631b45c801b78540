// Ports addressed by name: the byte operations the link and the connect
// procedure use. A handle is 1..32 (slot index + 1); 0 means no port, and every
// operation given 0 or the handle of a closed slot does nothing and returns its
// empty result.
#pragma once
#include <cstdint>

#include "port/open_failure.h"

// Starts and stops the layer: the table is zeroed and port.out opened on start;
// ports still open on stop stay usable, but nothing new opens until restarted.
void PortLayerStart();
void PortLayerStop();
// For a program that ends on a signal: from now until the layer is started or
// stopped again, every open port counts as lost (PortLost), so each wait
// returns, each exchange fails at once and nothing more is sent. The devices
// stay open until PortClose releases them (lock and exclusive mode). Safe to
// call from a signal handler or from another thread.
void PortLayerInterrupt();

// PortOpen's own results. Any other is the platform's error code from the
// serial device (errno, or the Windows error code), which may coincide with
// one of the positive numbers; PortLastOpenFailure tells them apart.
enum PortOpenResult : int {
  kPortOpened = 0,
  kPortTcpOpenFailed = -1,  // TCP name malformed, or its set-up failed
  kPortNoFreeSlot = 1,      // all slots in use
  kPortNameRefused = 3,     // no name, an empty one, or one too long for a slot
  kPortLayerNotStarted = 9,  // PortLayerStart not called, or PortLayerStop since
};
static_assert(kPortOpened == 0 && kPortTcpOpenFailed == -1 && kPortNoFreeSlot == 1 &&
                  kPortNameRefused == 3 && kPortLayerNotStarted == 9,
              "PortOpen's results keep their numbers");

// Opens the port called name: "STUB", a TCP name (tcp_name.h) or a serial
// device. kPortOpened with *handle set; otherwise a PortOpenResult or the
// platform's error code (*handle set to 0 for a serial device's error).
int PortOpen(uint16_t* handle, const char* name);
// The name the port was opened by; "" for no port.
const char* PortNameOf(uint16_t handle);

// Why the last PortOpen failed.
PortOpenFailure PortLastOpenFailure();
// Closes the port; always kPortClosed.
constexpr int kPortClosed = 1;
int PortClose(uint16_t handle);

void PortWrite(uint16_t handle, const uint8_t* bytes, int count);
void PortWriteByte(uint16_t handle, uint8_t byte);
// Number of received bytes waiting (0 when none or no port).
int PortAvailable(uint16_t handle);
// Takes exactly count waiting bytes into dest (kPortReadTaken), or nothing
// when fewer wait or there is no port (kPortReadNothing).
enum PortReadResult : int { kPortReadNothing = 0, kPortReadTaken = 1 };
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
// PortClose. Also 1 for every open port once PortLayerInterrupt was called.
// 0 for a live port and for handles that name no open port.
int PortLost(uint16_t handle);
// 1 once the port's line was found to give back what is sent (an echo); the
// echo is then taken off what arrives and never reaches the reader.
int PortEchoes(uint16_t handle);
// Echoed bytes so far that differed from the bytes sent: two talkers met on
// the line. An exchange during which this changed cannot be trusted.
uint32_t PortEchoCollisions(uint16_t handle);
// Which connection the port's bytes go over: a number that changes whenever a
// TCP port connects anew or its server takes another peer, since the
// controller behind the new connection may be another one. A serial line
// keeps one number while open. It first receives and takes the connection
// step as a byte operation would, so the number is that of the peer the next
// byte goes to.
// 0 for handles that name no open port.
uint32_t PortConnection(uint16_t handle);
