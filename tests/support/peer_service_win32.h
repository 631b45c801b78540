// The connection of a Windows test, run under Wine, to the pty peer service
// on the Linux side (tests/wine/pty_peer_service.cpp): one request line, one
// answer line, over loopback TCP at the address in TARVO_PTY_PEER.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/hex_text.h"   // the protocol's bytes

// A new connection to the service, or -1 when there is none (TARVO_PTY_PEER
// unset, or nobody listening there).
int ConnectToPeerService();
void DisconnectFromPeerService(int connection);
// Sends one request and waits for its answer; "" when the service is gone.
std::string AskPeerService(int connection, const std::string& request);

