// The process-wide table of open ports. The byte operations, the transports
// and tests look into it; everyone else goes through port.h.
#pragma once
#include <cstdint>

#include "port/line_echo.h"
#include "port/port.h"
#include "port/port_ops.h"

constexpr int kPortSlotCount = 32;
constexpr int kPortNameSize = 100;    // name as given to PortOpen, NUL included
constexpr int kRxRingSize = 10000;    // holds at most kRxRingSize - 1 unread bytes

// TcpClient connect states.
constexpr int32_t kTcpIdle = 0;
constexpr int32_t kTcpConnecting = 1;

// What each transport keeps of its own in a slot.
struct SerialPortState {
  intptr_t device;
  // The line hung up or failed and the device is closed (PortLost).
  int32_t lineLost;
};

struct TcpClientPortState {
  int32_t socket;             // -1 between a failed socket and the next step
  int32_t connected;
  int32_t connectState;
  uint16_t connectDeadline;   // low 16 tick bits when a pending connect is abandoned
  uint32_t peerAddress;       // network byte order
  uint16_t peerPort;
  int32_t peerEnded;          // the peer closed its side of this connection
};

struct TcpServerPortState {
  int32_t listener;
  int32_t peer;               // the one peer talked to, -1 for none
  // The local address listened on (0 = every interface) and, when
  // peerRestricted, the only peer address let in.
  uint32_t localAddress;
  int32_t peerRestricted;
  uint32_t allowedPeer;
  // Frames sent to the peer since it last sent a byte.
  int32_t unansweredSends;
};

struct PortSlot {
  char name[kPortNameSize];
  const PortOps* ops;         // the transport's table, chosen by PortOpen
  uint8_t* rxRing;            // kRxRingSize bytes while open
  int32_t inUse;
  uint16_t rxWrite;           // where the next received byte goes
  uint16_t rxRead;            // oldest unread byte
  // Counts the connections made (a client connected, a server's peer taken):
  // the controller behind a new one may be another (PortConnection).
  uint32_t connection;
  LineEcho echo;              // what the line gives back of what is sent
  union {
    SerialPortState serial;
    TcpClientPortState client;
    TcpServerPortState server;
  };
};

struct PortTableType {
  PortSlot slots[kPortSlotCount];
  int32_t started;
};

extern PortTableType PortTable;

// Whether PortLayerInterrupt was called since the layer was last started.
bool PortLayerInterrupted();

// The open slot behind a handle, or nullptr for 0, out-of-range or closed handles.
PortSlot* PortSlotOf(uint16_t handle);
