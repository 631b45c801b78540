// TCP kinds of port, driven only by the byte operations' polls: nothing here
// waits. A client connects one step at a time and gives an attempt 10 s; a
// server takes at most one new peer per step into 16 fixed entries, and every
// peer's bytes go into the slot's one ring in entry order.
#include "port/tcp_transport.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "clock/tick.h"
#include "port/rx_ring.h"
#include "port/socket_api.h"

namespace {

constexpr int kPrefixLength = 5;          // "TCPC_" or "TCPS_"
constexpr int kListenBacklog = 5;
constexpr uint16_t kConnectWaitMs = 10000;
constexpr int kClientReceiveSize = 1024;

// The leading decimal number of text, as atoi reads it, kept as 16 bits.
uint16_t portNumber(const char* text) {
  return static_cast<uint16_t>(std::strtol(text, nullptr, 10));
}

void clearSockets(PortSlot& slot) {
  for (int32_t& sock : slot.sockets) sock = kNoSocket;
}

void dropPeer(PortSlot& slot, int entry) {
  SocketClose(slot.sockets[entry]);
  slot.sockets[entry] = kNoSocket;
}

// A client whose connection broke, or whose attempt failed or ran out of
// time, starts again on a new socket: a socket still trying refuses a second
// connect until the kernel gives up minutes later, and one that was connected
// may answer "already connected" for ever after the peer reset it. When no
// socket can be made, the next connect step tries once more.
void renewClientSocket(PortSlot& slot) {
  SocketClose(slot.sockets[0]);
  slot.sockets[0] = SocketCreate();
  slot.osHandle = slot.sockets[0];
  slot.connected = 0;
  slot.connectState = kTcpIdle;
}

void clientReceive(PortSlot& slot) {
  if (!slot.connected) return;
  uint8_t buffer[kClientReceiveSize];
  int n = SocketReceive(slot.sockets[0], buffer, kClientReceiveSize);
  if (n > 0) {
    RingAppend(slot, buffer, n);
  } else if (n < 0 && SocketLastError() != SocketError::WouldBlock) {
    renewClientSocket(slot);
  }
  // 0: the peer has closed its side; a later send finds out whether it is gone.
}

void serverReceive(PortSlot& slot) {
  for (int entry = 0; entry < kTcpPeerCount; ++entry) {
    int32_t peer = slot.sockets[entry];
    if (peer == kNoSocket) continue;
    int waiting = 0;
    if (SocketBytesWaiting(peer, &waiting) != 0) {
      dropPeer(slot, entry);
      return;  // the later entries wait for the next poll
    }
    // A peer that has left shows nothing waiting for ever; asking for one
    // byte lets its end of stream be seen and its entry be freed.
    int size = waiting > 0 ? waiting : 1;
    uint8_t small[kClientReceiveSize];
    std::unique_ptr<uint8_t[]> large;
    uint8_t* buffer = small;
    if (size > kClientReceiveSize) {
      large.reset(new uint8_t[size]);
      buffer = large.get();
    }
    int n = SocketReceive(peer, buffer, size);
    if (n > 0) {
      RingAppend(slot, buffer, n);
    } else if (n == 0 || SocketLastError() != SocketError::WouldBlock) {
      dropPeer(slot, entry);
    }
  }
}

}  // namespace

int TcpClientOpen(PortSlot& slot, const char* name) {
  if (SocketLibraryStart() != 0) return -1;
  const char* target = name + kPrefixLength;
  const char* colon = std::strchr(target, ':');
  if (colon == nullptr) {
    SocketLibraryEnd();
    return -1;
  }
  // No IPv4 address is near this long; a longer text stays unreadable.
  char address[kPortNameSize];
  size_t length = static_cast<size_t>(colon - target);
  if (length >= sizeof address) length = sizeof address - 1;
  std::memcpy(address, target, length);
  address[length] = '\0';

  clearSockets(slot);
  int32_t sock = SocketCreate();
  if (sock == kNoSocket) {
    SocketLibraryEnd();
    return -1;
  }
  slot.peerAddress = SocketParseIPv4(address);
  slot.peerPort = portNumber(colon + 1);
  slot.sockets[0] = sock;
  slot.osHandle = sock;
  slot.connected = 0;
  slot.connectState = kTcpIdle;
  slot.kind = PortKind::TcpClient;
  return 0;
}

int TcpServerOpen(PortSlot& slot, const char* name) {
  if (SocketLibraryStart() != 0) return -1;
  clearSockets(slot);
  int32_t listener = SocketCreate();
  if (listener == kNoSocket) {
    SocketLibraryEnd();
    return -1;
  }
  if (SocketListenAny(listener, portNumber(name + kPrefixLength), kListenBacklog) != 0) {
    SocketClose(listener);
    SocketLibraryEnd();
    return -1;
  }
  slot.osHandle = listener;
  slot.connected = 0;
  slot.connectState = kTcpIdle;
  slot.kind = PortKind::TcpServer;
  return 0;
}

int TcpConnectStep(PortSlot& slot) {
  if (slot.connected == 1) return 0;
  if (slot.sockets[0] == kNoSocket) {
    renewClientSocket(slot);
    if (slot.sockets[0] == kNoSocket) return -1;
  }
  if (slot.connectState == kTcpConnecting) {
    int finished = SocketConnectFinished(slot.sockets[0]);
    if (finished == 1) {
      slot.connected = 1;
      slot.connectState = kTcpIdle;
    } else if (finished < 0 || tick16Reached(slot.connectDeadline)) {
      renewClientSocket(slot);  // the next step connects afresh
    }
    return 0;
  }
  if (SocketConnect(slot.sockets[0], slot.peerAddress, slot.peerPort) == 0) {
    slot.connected = 1;
    return 0;
  }
  switch (SocketLastError()) {
    case SocketError::WouldBlock:
      slot.connected = 0;
      slot.connectState = kTcpConnecting;
      slot.connectDeadline = static_cast<uint16_t>(tick16() + kConnectWaitMs);
      return 0;
    case SocketError::IsConnected:
      slot.connected = 1;
      slot.connectState = kTcpIdle;
      return 0;
    case SocketError::Other:
      break;
  }
  return -1;  // nothing changes; the next step calls connect again
}

void TcpAcceptStep(PortSlot& slot) {
  for (int entry = 0; entry < kTcpPeerCount; ++entry) {
    if (slot.sockets[entry] == kNoSocket) {
      slot.sockets[entry] = SocketAccept(static_cast<int32_t>(slot.osHandle));
      return;
    }
  }
}

void TcpReceive(PortSlot& slot) {
  if (slot.kind == PortKind::TcpClient) {
    clientReceive(slot);
  } else if (slot.kind == PortKind::TcpServer) {
    serverReceive(slot);
  }
}

void TcpSend(PortSlot& slot, const uint8_t* bytes, int count) {
  if (slot.kind == PortKind::TcpServer) {
    for (int entry = 0; entry < kTcpPeerCount; ++entry) {
      if (slot.sockets[entry] != kNoSocket && SocketSend(slot.sockets[entry], bytes, count) < 0) {
        dropPeer(slot, entry);
      }
    }
  } else if (slot.kind == PortKind::TcpClient) {
    if (!slot.connected) return;  // dropped: nothing is queued for later
    // A full send buffer leaves the connection as it is; any other failure
    // means it is gone.
    if (SocketSend(slot.sockets[0], bytes, count) < 0 &&
        SocketLastError() != SocketError::WouldBlock) {
      renewClientSocket(slot);
    }
  }
}

void TcpClose(PortSlot& slot) {
  if (slot.kind == PortKind::TcpServer) {
    for (int entry = 0; entry < kTcpPeerCount; ++entry) {
      if (slot.sockets[entry] != kNoSocket) dropPeer(slot, entry);
    }
    SocketClose(static_cast<int32_t>(slot.osHandle));
  } else if (slot.kind == PortKind::TcpClient) {
    SocketClose(slot.sockets[0]);
    slot.sockets[0] = kNoSocket;
  } else {
    return;
  }
  slot.osHandle = kNoSocket;
  slot.connected = 0;
  SocketLibraryEnd();
}
