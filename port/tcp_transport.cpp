// TCP kinds of port, driven by the byte operations' polls; between them a
// wait sleeps on the sockets. A "TCPC_" port connects out one step at a time
// and gives an attempt 10 s. A "TCPS_" port listens and talks to one peer at a time: frames go to
// that peer alone and only its bytes reach the ring, so a stranger that
// connects cannot join the controller's conversation, hear the password or
// answer in its place. The name grammar is in tcp_name.h.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "clock/tick.h"
#include "port/port_ops.h"
#include "port/port_table.h"
#include "port/rx_ring.h"
#include "port/socket_api.h"
#include "port/tcp_name.h"

namespace {

constexpr int kListenBacklog = 5;
constexpr uint16_t kConnectWaitMs = 10000;
constexpr int kReceiveSize = 1024;

// ---- client ----------------------------------------------------------------

// A client whose connection broke, or whose attempt failed or ran out of
// time, starts again on a new socket: a socket still trying refuses a second
// connect until the kernel gives up minutes later, and one that was connected
// may answer "already connected" for ever after the peer reset it. When no
// socket can be made, the next connect step tries once more.
void renewClientSocket(TcpClientPortState& c) {
  SocketClose(c.socket);
  c.socket = SocketCreate();
  c.connected = 0;
  c.connectState = kTcpIdle;
  c.peerEnded = 0;
}

int clientOpen(PortSlot& slot, const char* name, PortOpenFailure* failure) {
  TcpPortName parsed;
  if (!ParseTcpPortName(name, &parsed) || parsed.server) {
    *failure = PortOpenFailure::MalformedTcpName;
    return kPortTcpOpenFailed;
  }
  *failure = PortOpenFailure::Other;
  if (SocketLibraryStart() != 0) return kPortTcpOpenFailed;
  int32_t sock = SocketCreate();
  if (sock == kNoSocket) {
    SocketLibraryEnd();
    return kPortTcpOpenFailed;
  }
  TcpClientPortState& c = slot.client;
  c.peerAddress = parsed.address;
  c.peerPort = parsed.port;
  c.socket = sock;
  c.connected = 0;
  c.connectState = kTcpIdle;
  return kPortOpened;
}

void clientClose(PortSlot& slot) {
  SocketClose(slot.client.socket);
  slot.client.socket = kNoSocket;
  slot.client.connected = 0;
  SocketLibraryEnd();
}

void clientConnected(PortSlot& slot) {
  slot.client.connected = 1;
  slot.client.peerEnded = 0;
  slot.client.connectState = kTcpIdle;
  ++slot.connection;
}

int clientStep(PortSlot& slot) {
  TcpClientPortState& c = slot.client;
  if (c.connected == 1) return 0;
  if (c.socket == kNoSocket) {
    renewClientSocket(c);
    if (c.socket == kNoSocket) return 0;
  }
  if (c.connectState == kTcpConnecting) {
    int finished = SocketConnectFinished(c.socket);
    if (finished == 1) {
      clientConnected(slot);
    } else if (finished < 0 || tick16Reached(c.connectDeadline)) {
      renewClientSocket(c);  // the next step connects afresh
    }
    return 0;
  }
  if (SocketConnect(c.socket, c.peerAddress, c.peerPort) == 0) {
    clientConnected(slot);
    return 0;
  }
  switch (SocketLastError()) {
    case SocketError::WouldBlock:
      c.connected = 0;
      c.connectState = kTcpConnecting;
      c.connectDeadline = static_cast<uint16_t>(tick16() + kConnectWaitMs);
      break;
    case SocketError::IsConnected: clientConnected(slot); break;
    case SocketError::Other: break;  // nothing changes; the next step calls connect again
  }
  return 0;
}

void clientReceive(PortSlot& slot) {
  TcpClientPortState& c = slot.client;
  if (!c.connected) return;
  uint8_t buffer[kReceiveSize];
  int n = SocketReceive(c.socket, buffer, kReceiveSize);
  if (n > 0) {
    LineReceived(slot, buffer, n);
  } else if (n < 0 && SocketLastError() != SocketError::WouldBlock) {
    renewClientSocket(c);
  }
  // 0: the peer has closed its side; a later send finds out whether it is gone.
  if (n == 0) c.peerEnded = 1;
}

void clientSend(PortSlot& slot, const uint8_t* bytes, int count) {
  TcpClientPortState& c = slot.client;
  if (!c.connected) return;  // dropped: nothing is queued for later
  // A full send buffer leaves the connection as it is; any other failure
  // means it is gone.
  if (SocketSend(c.socket, bytes, count) < 0 && SocketLastError() != SocketError::WouldBlock) {
    renewClientSocket(c);
  }
}

// ---- server ----------------------------------------------------------------

// A peer's frames are requests; its bytes are the answers. One that has let
// this many frames go by without a byte (about six requests: most carry a
// select frame and a header) is taken for dead or for a stranger, and is
// dropped so that a converter reconnecting can take its place.
constexpr int kUnansweredSendsBeforeDrop = 12;
// Connections taken per step at most; each beyond the first peer is closed
// at once, so none waits in the backlog to be taken later.
constexpr int kAcceptsPerStep = 16;

void dropPeer(TcpServerPortState& s) {
  SocketClose(s.peer);
  s.peer = kNoSocket;
}

bool peerAllowed(const TcpServerPortState& s, uint32_t address) {
  return !s.peerRestricted || address == s.allowedPeer;
}

int serverOpen(PortSlot& slot, const char* name, PortOpenFailure* failure) {
  TcpPortName parsed;
  if (!ParseTcpPortName(name, &parsed) || !parsed.server) {
    *failure = PortOpenFailure::MalformedTcpName;
    return kPortTcpOpenFailed;
  }
  *failure = PortOpenFailure::Other;
  if (SocketLibraryStart() != 0) return kPortTcpOpenFailed;
  int32_t listener = SocketCreate();
  if (listener == kNoSocket) {
    SocketLibraryEnd();
    return kPortTcpOpenFailed;
  }
  if (SocketListenAt(listener, parsed.address, parsed.port, kListenBacklog) != 0) {
    *failure = SocketListenFailure();
    SocketClose(listener);
    SocketLibraryEnd();
    return kPortTcpOpenFailed;
  }
  TcpServerPortState& s = slot.server;
  s.listener = listener;
  s.peer = kNoSocket;
  s.localAddress = parsed.address;
  s.peerRestricted = parsed.peerRestricted ? 1 : 0;
  s.allowedPeer = parsed.peerAddress;
  s.unansweredSends = 0;
  return kPortOpened;
}

void serverClose(PortSlot& slot) {
  TcpServerPortState& s = slot.server;
  if (s.peer != kNoSocket) dropPeer(s);
  SocketClose(s.listener);
  s.listener = kNoSocket;
  SocketLibraryEnd();
}

// Bytes from the one peer go to the ring; its leaving, or an error, frees
// the place.
void serverReceive(PortSlot& slot) {
  TcpServerPortState& s = slot.server;
  if (s.peer == kNoSocket) return;
  int waiting = 0;
  if (SocketBytesWaiting(s.peer, &waiting) != 0) {
    dropPeer(s);
    return;
  }
  // A peer that has left shows nothing waiting for ever; asking for one
  // byte lets its end of stream be seen and its place be freed.
  int size = waiting > 0 ? waiting : 1;
  uint8_t small[kReceiveSize];
  std::unique_ptr<uint8_t[]> large;
  uint8_t* buffer = small;
  if (size > kReceiveSize) {
    large.reset(new uint8_t[size]);
    buffer = large.get();
  }
  int n = SocketReceive(s.peer, buffer, size);
  if (n > 0) {
    LineReceived(slot, buffer, n);
    s.unansweredSends = 0;
  } else if (n == 0 || SocketLastError() != SocketError::WouldBlock) {
    dropPeer(s);
  }
}

// Takes every connection waiting: the first allowed one becomes the peer
// when there is none, every other is closed at once and counted. A peer that
// has left is seen only by receiving from it: it is asked before a newcomer
// is turned away for it, so that the controller which replaced it on the
// line is taken now, not closed and left to call again.
int serverStep(PortSlot& slot) {
  TcpServerPortState& s = slot.server;
  int refused = 0;
  for (int taken = 0; taken < kAcceptsPerStep; ++taken) {
    uint32_t address = 0;
    int32_t sock = SocketAcceptPeer(s.listener, &address);
    if (sock == kNoSocket) break;
    // Twice: the first receive may take the bytes it sent before leaving.
    for (int ask = 0; ask < 2 && s.peer != kNoSocket; ++ask) serverReceive(slot);
    if (s.peer == kNoSocket && peerAllowed(s, address)) {
      s.peer = sock;
      s.unansweredSends = 0;
      ++slot.connection;
    } else {
      SocketClose(sock);
      ++refused;
    }
  }
  return refused;
}

void serverSend(PortSlot& slot, const uint8_t* bytes, int count) {
  TcpServerPortState& s = slot.server;
  if (s.peer == kNoSocket) return;  // no peer: the frame is dropped
  if (SocketSend(s.peer, bytes, count) < 0 && SocketLastError() != SocketError::WouldBlock) {
    dropPeer(s);
    return;
  }
  if (++s.unansweredSends >= kUnansweredSendsBeforeDrop) dropPeer(s);
}

// ---- both ------------------------------------------------------------------

// A late reply is as likely to wait in the socket as in the ring; left there,
// it would reach the ring with the next poll and be read as the reply to the
// request that follows the clear. Bounded, so a peer that never stops sending
// cannot hold the caller here.
void dropInput(PortSlot& slot) {
  constexpr int kMostRounds = 64;   // 64 receives of up to 1 KiB each
  for (int round = 0; round < kMostRounds; ++round) {
    RingDrop(slot);
    slot.ops->receive(slot);
    if (RingCount(slot) == 0) return;
  }
  RingDrop(slot);
}

// Sockets hand everything to the system at once, and a lost connection is
// made again: the port itself is never lost.
int alwaysTxEmpty(PortSlot&) { return 1; }
int neverLost(PortSlot&) { return 0; }

// Sleeps on the sockets a slice at a time until the event or ms have passed.
// A wait that failed outright must not return at once again and again.
void waitOn(const int32_t* sockets, int count, SocketEvent event, int ms) {
  const PortWaitClock::time_point until = PortWaitClock::now() + std::chrono::milliseconds(ms);
  for (int left = ms; left > 0 && !PortLayerInterrupted(); left = PortMsUntil(until)) {
    const int ready = SocketWait(sockets, count, event, std::min(left, kPortWaitSliceMs));
    if (ready < 0) PortSleepOneMs();
    if (ready != 0) return;
  }
}

// A connected client sleeps on its socket, and one connecting on the connect;
// one that has heard the peer's end gets nothing more until a send renews it.
// Between attempts the next connect waits one millisecond, as the connection
// only advances through the byte operations.
void clientWaitReadable(PortSlot& slot, int ms) {
  TcpClientPortState& c = slot.client;
  if (c.connected == 1 && !c.peerEnded) {
    waitOn(&c.socket, 1, SocketEvent::Readable, ms);
  } else if (c.connected == 1) {
    waitOn(nullptr, 0, SocketEvent::Readable, ms);   // no socket: only the time passes
  } else if (c.connectState == kTcpConnecting) {
    waitOn(&c.socket, 1, SocketEvent::ConnectEnded, ms);
  } else {
    PortSleepOneMs();
  }
}

// A server sleeps on its listener and its peer: a connection to take, bytes
// or the peer's leaving end the wait.
void serverWaitReadable(PortSlot& slot, int ms) {
  const int32_t sockets[2] = {slot.server.listener, slot.server.peer};
  waitOn(sockets, 2, SocketEvent::Readable, ms);
}

}  // namespace

const PortOps kTcpClientPortOps = {
    PortKind::TcpClient,
    clientOpen,
    clientClose,
    clientStep,
    clientReceive,
    clientSend,
    dropInput,
    alwaysTxEmpty,
    neverLost,
    clientWaitReadable,
    nullptr,  // waited on between the byte operations, which connect
};

const PortOps kTcpServerPortOps = {
    PortKind::TcpServer,
    serverOpen,
    serverClose,
    serverStep,
    serverReceive,
    serverSend,
    dropInput,
    alwaysTxEmpty,
    neverLost,
    serverWaitReadable,
    nullptr,  // waited on between the byte operations, which accept
};
