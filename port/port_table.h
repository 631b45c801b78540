// The process-wide table of open ports. The byte operations, the serial and TCP
// transports and tests look into it; everyone else goes through port.h.
#pragma once
#include <cstdint>

#include "port/port.h"

constexpr int kPortSlotCount = 32;
constexpr int kPortNameSize = 100;    // name as given to PortOpen, NUL included
constexpr int kRxRingSize = 10000;    // holds at most kRxRingSize - 1 unread bytes
constexpr int kTcpPeerCount = 16;

enum class PortKind : uint8_t { Serial = 0, Stub = 3, TcpServer = 4, TcpClient = 6 };

// TcpClient connect states.
constexpr int32_t kTcpIdle = 0;
constexpr int32_t kTcpConnecting = 1;

struct PortSlot {
  char name[kPortNameSize];
  intptr_t osHandle;          // serial device, TCP client socket or listening socket
  uint8_t* rxRing;            // kRxRingSize bytes while open
  int32_t inUse;
  uint16_t rxWrite;           // where the next received byte goes
  uint16_t rxRead;            // oldest unread byte
  uint16_t connectDeadline;   // low 16 tick bits when a pending connect is abandoned
  PortKind kind;
  int32_t sockets[kTcpPeerCount];  // -1 = empty; server peers, or [0] = client socket
  int32_t connected;
  int32_t connectState;
  uint32_t peerAddress;       // network byte order
  uint16_t peerPort;
  // TcpServer: the local address listened on (0 = every interface) and, when
  // peerRestricted, the only peer address let in.
  uint32_t localAddress;
  int32_t peerRestricted;
  uint32_t allowedPeer;
  // TcpServer: frames sent to the peer since it last sent a byte.
  int32_t unansweredSends;
  // TcpServer: connections closed at once because a peer was connected (or
  // the address was not the one let in), not yet told to the port tap.
  int32_t refusedPeers;
  // Serial: the line hung up or failed and the device is closed (PortLost).
  int32_t lineLost;
  // TCP: counts the connections made (a client connected, a server's peer
  // taken). The controller behind a new one may be another (PortConnection).
  uint32_t connection;
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
