// Why a port would not open, in terms the operator can act on. A header of
// its own: the socket calls report it too, and they stand apart from the port
// table.
#pragma once

enum class PortOpenFailure {
  Opened,            // the last open succeeded
  Busy,              // another program (or this one) holds the device or TCP port
  NotFound,          // no such device, or a TCP address that is not this machine's
  PermissionDenied,  // the user may not open the device
  MalformedTcpName,  // a TCP name outside the grammar, or a port outside 1..65535
  Other,
};
