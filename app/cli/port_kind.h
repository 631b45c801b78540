// What kind of port a name of the port list opens, as the port layer reads
// the name.
#pragma once

enum class PortKind { kSerialDevice, kUsbChannel, kTcpClient, kTcpServer, kNull };

PortKind PortKindOf(const char* name);
// "serial device", "USB channel", "TCP client", "TCP server", "null".
const char* PortKindName(PortKind kind);
