// TCP kinds of port: "TCPC_" names connect out, "TCPS_" names listen for one
// peer (the grammar is in tcp_name.h).
// Everything is non-blocking and driven by the byte operations of port.h.
#pragma once
#include <cstdint>

#include "port/port_table.h"

// Set-up called by PortOpen: 0, or -1 with every socket it made closed and
// *failure saying why.
int TcpClientOpen(PortSlot& slot, const char* name, PortOpenFailure* failure);
int TcpServerOpen(PortSlot& slot, const char* name, PortOpenFailure* failure);
// Steps run at the start of every byte operation on a TCP port.
int TcpConnectStep(PortSlot& slot);
void TcpAcceptStep(PortSlot& slot);
// Moves what the sockets hold into the ring (the TCP branch of the poll).
void TcpReceive(PortSlot& slot);
// Receives and drops everything the sockets hold (part of PortClear).
void TcpDropInput(PortSlot& slot);
// Sends to the connected peer (client) or to the one peer (server).
void TcpSend(PortSlot& slot, const uint8_t* bytes, int count);
// Shuts down and closes every socket of the slot (part of PortClose).
void TcpClose(PortSlot& slot);
