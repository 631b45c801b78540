// TCP kinds of port, driven only by the byte operations' polls: nothing here
// waits. A client connects one step at a time and gives an attempt 10 s. A
// server talks to one peer at a time: frames go to that peer alone and only
// its bytes reach the ring, so a stranger that connects cannot join the
// controller's conversation, hear the password or answer in its place.
#include "port/tcp_transport.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "clock/tick.h"
#include "port/rx_ring.h"
#include "port/socket_api.h"
#include "port/tcp_name.h"

namespace {

constexpr int kListenBacklog = 5;
constexpr uint16_t kConnectWaitMs = 10000;
constexpr int kClientReceiveSize = 1024;

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

// A peer's frames are requests; its bytes are the answers. One that has let
// this many frames go by without a byte (about six requests: most carry a
// select frame and a header) is taken for dead or for a stranger, and is
// dropped so that a converter reconnecting can take its place.
constexpr int kUnansweredSendsBeforeDrop = 12;
// Connections taken per step at most; each beyond the first peer is closed
// at once, so none waits in the backlog to be taken later.
constexpr int kAcceptsPerStep = 16;

constexpr int kServerPeer = 0;  // the one entry a server uses

bool peerAllowed(const PortSlot& slot, uint32_t address) {
  return !slot.peerRestricted || address == slot.allowedPeer;
}

// The server's one peer. Bytes from it go to the ring; its leaving, or an
// error, frees the place.
void serverReceive(PortSlot& slot) {
  int32_t peer = slot.sockets[kServerPeer];
  if (peer == kNoSocket) return;
  int waiting = 0;
  if (SocketBytesWaiting(peer, &waiting) != 0) {
    dropPeer(slot, kServerPeer);
    return;
  }
  // A peer that has left shows nothing waiting for ever; asking for one
  // byte lets its end of stream be seen and its place be freed.
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
    slot.unansweredSends = 0;
  } else if (n == 0 || SocketLastError() != SocketError::WouldBlock) {
    dropPeer(slot, kServerPeer);
  }
}

void serverSend(PortSlot& slot, const uint8_t* bytes, int count) {
  int32_t peer = slot.sockets[kServerPeer];
  if (peer == kNoSocket) return;  // no peer: the frame is dropped
  if (SocketSend(peer, bytes, count) < 0 && SocketLastError() != SocketError::WouldBlock) {
    dropPeer(slot, kServerPeer);
    return;
  }
  if (++slot.unansweredSends >= kUnansweredSendsBeforeDrop) dropPeer(slot, kServerPeer);
}

}  // namespace

int TcpClientOpen(PortSlot& slot, const char* name, PortOpenFailure* failure) {
  TcpPortName parsed;
  if (!ParseTcpPortName(name, &parsed) || parsed.server) {
    *failure = PortOpenFailure::MalformedTcpName;
    return -1;
  }
  *failure = PortOpenFailure::Other;
  if (SocketLibraryStart() != 0) return -1;
  clearSockets(slot);
  int32_t sock = SocketCreate();
  if (sock == kNoSocket) {
    SocketLibraryEnd();
    return -1;
  }
  slot.peerAddress = parsed.address;
  slot.peerPort = parsed.port;
  slot.sockets[0] = sock;
  slot.osHandle = sock;
  slot.connected = 0;
  slot.connectState = kTcpIdle;
  slot.kind = PortKind::TcpClient;
  return 0;
}

int TcpServerOpen(PortSlot& slot, const char* name, PortOpenFailure* failure) {
  TcpPortName parsed;
  if (!ParseTcpPortName(name, &parsed) || !parsed.server) {
    *failure = PortOpenFailure::MalformedTcpName;
    return -1;
  }
  *failure = PortOpenFailure::Other;
  if (SocketLibraryStart() != 0) return -1;
  clearSockets(slot);
  int32_t listener = SocketCreate();
  if (listener == kNoSocket) {
    SocketLibraryEnd();
    return -1;
  }
  if (SocketListenAt(listener, parsed.address, parsed.port, kListenBacklog) != 0) {
    *failure = SocketListenFailure();
    SocketClose(listener);
    SocketLibraryEnd();
    return -1;
  }
  slot.osHandle = listener;
  slot.localAddress = parsed.address;
  slot.peerRestricted = parsed.peerRestricted ? 1 : 0;
  slot.allowedPeer = parsed.peerAddress;
  slot.unansweredSends = 0;
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
      ++slot.connection;
    } else if (finished < 0 || tick16Reached(slot.connectDeadline)) {
      renewClientSocket(slot);  // the next step connects afresh
    }
    return 0;
  }
  if (SocketConnect(slot.sockets[0], slot.peerAddress, slot.peerPort) == 0) {
    slot.connected = 1;
    ++slot.connection;
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
      ++slot.connection;
      return 0;
    case SocketError::Other:
      break;
  }
  return -1;  // nothing changes; the next step calls connect again
}

// Takes every connection waiting: the first allowed one becomes the peer
// when there is none, every other is closed at once.
void TcpAcceptStep(PortSlot& slot) {
  const int32_t listener = static_cast<int32_t>(slot.osHandle);
  for (int taken = 0; taken < kAcceptsPerStep; ++taken) {
    uint32_t address = 0;
    int32_t sock = SocketAcceptPeer(listener, &address);
    if (sock == kNoSocket) return;
    if (slot.sockets[kServerPeer] == kNoSocket && peerAllowed(slot, address)) {
      slot.sockets[kServerPeer] = sock;
      slot.unansweredSends = 0;
      ++slot.connection;
    } else {
      SocketClose(sock);
      ++slot.refusedPeers;
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

// A late reply is as likely to wait in the socket as in the ring; left there,
// it would reach the ring with the next poll and be read as the reply to the
// request that follows the clear. Bounded, so a peer that never stops sending
// cannot hold the caller here.
void TcpDropInput(PortSlot& slot) {
  constexpr int kMostRounds = 64;   // 64 receives of up to 1 KiB each
  for (int round = 0; round < kMostRounds; ++round) {
    RingDrop(slot);
    TcpReceive(slot);
    if (RingCount(slot) == 0) return;
  }
  RingDrop(slot);
}

void TcpSend(PortSlot& slot, const uint8_t* bytes, int count) {
  if (slot.kind == PortKind::TcpServer) {
    serverSend(slot, bytes, count);
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
