#include "app/cli/port_kind.h"

#include <cctype>
#include <cstring>

namespace {

// The channels of the maker's USB devices: U_<id>, U_<id>_<channel>, UKEY.
bool IsUsbChannelName(const char* name) {
  if (std::strcmp(name, "UKEY") == 0) return true;
  if (std::strncmp(name, "U_", 2) != 0) return false;
  const char* p = name + 2;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  if (*p == '\0') return true;
  if (*p++ != '_' || !std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  return *p == '\0';
}

}  // namespace

PortKind PortKindOf(const char* name) {
  if (std::strcmp(name, "STUB") == 0) return PortKind::kNull;
  if (std::strncmp(name, "TCPC_", 5) == 0) return PortKind::kTcpClient;
  if (std::strncmp(name, "TCPS_", 5) == 0) return PortKind::kTcpServer;
  if (IsUsbChannelName(name)) return PortKind::kUsbChannel;
  return PortKind::kSerialDevice;
}

const char* PortKindName(PortKind kind) {
  switch (kind) {
    case PortKind::kSerialDevice: return "serial device";
    case PortKind::kUsbChannel: return "USB channel";
    case PortKind::kTcpClient: return "TCP client";
    case PortKind::kTcpServer: return "TCP server";
    case PortKind::kNull: return "null";
  }
  return "serial device";
}
