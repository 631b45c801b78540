#include "app/port_open_error.h"

#include <string>

#include "app/alert.h"
#include "app/catalog.h"

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

// "error" itself is shown as it always was, untranslated.
void ShowPortOpenError(const char* reason) {
  const std::string text = std::string("error\n") + reason;
  ShowAlert(text.c_str());
}
