// Waiting for a TCP port of the tool to reach its other side, stepping the
// port as its user does (every byte operation takes a step: connects, accepts).
#pragma once
#include <cstdint>

#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/wait_until.h"

// The socket a TCP port's bytes go over: a TCPC_ port's own, or the peer a
// TCPS_ port talks to; -1 for none.
inline int32_t tcpSocketOf(uint16_t handle) {
  const PortSlot& slot = *PortSlotOf(handle);
  return slot.ops->kind == PortKind::TcpServer ? slot.server.peer : slot.client.socket;
}

// True once a TCPC_ port is connected to its server, or a TCPS_ port holds a
// peer; false when timeoutMs passed first.
inline bool waitForTcpPeer(uint16_t handle, int timeoutMs = 2000) {
  return waitUntil(
      [&] {
        PortAvailable(handle);
        const PortSlot& slot = *PortSlotOf(handle);
        return slot.ops->kind == PortKind::TcpServer ? slot.server.peer != -1
                                                     : slot.client.connected == 1;
      },
      timeoutMs);
}
