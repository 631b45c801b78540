#include "app/core/port_open_failure.h"

#include "app/catalog/catalog.h"

const char* PortOpenFailureText(PortOpenFailure failure) {
  switch (failure) {
    case PortOpenFailure::Busy:
      return tr("The port is busy: another program holds it");
    case PortOpenFailure::NotFound:
      return tr("The port was not found");
    case PortOpenFailure::PermissionDenied:
      return tr("Permission denied: the user is not in the dialout group");
    case PortOpenFailure::MalformedTcpName:
      return tr("Malformed TCP port name: TCPC_address:port or TCPS_[address:]port[@peer], "
                "port 1-65535");
    case PortOpenFailure::Opened:
    case PortOpenFailure::Other:
      break;
  }
  return tr("The port could not be opened");
}
