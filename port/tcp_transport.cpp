// Placeholder until the TCP transport lands: every TCP set-up fails, so no slot
// ever has a TCP kind and the other entry points are never reached.
#include "port/tcp_transport.h"

int TcpClientOpen(PortSlot&, const char*) { return -1; }
int TcpServerOpen(PortSlot&, const char*) { return -1; }
int TcpConnectStep(PortSlot&) { return -1; }
void TcpAcceptStep(PortSlot&) {}
void TcpReceive(PortSlot&) {}
void TcpSend(PortSlot&, const uint8_t*, int) {}
void TcpClose(PortSlot&) {}
