// Open/Close Port and Read as the window runs them: the port chosen in the
// list, the address typed in the Address input, and what Read found shown in
// the widgets.
#include <cstdint>

#include "app/window/alert.h"
#include "app/core/app_state.h"
#include "app/catalog/catalog.h"
#include "app/window/controller_view.h"
#include "app/core/controller_state.h"
#include "app/core/read_procedure.h"
#include "app/window/main_form.h"
#include "app/window/port_open_error.h"
#include "app/window/procedures.h"
#include "app/window/read_trust.h"
#include "app/window/fill_buttons.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "port/port.h"

void OpenClosePort(xMainForm& form) {
  AppState& state = form.state;
  if (state.openPort != 0) {
    EndFollowedFill(form);
    ForgetConnectedController(form);
    PortClose(state.openPort);
    form.openCloseButton->label(tr("Open Port"));
    state.openPort = 0;
    form.readButton->deactivate();
    form.writeButton->deactivate();
    return;
  }
  const int selected = form.portChoice->value();
  uint16_t handle = 0;
  if (selected < 0 || selected >= PortNameList.count) {
    ShowPortOpenError(tr("No port is selected"));
    return;
  }
  if (PortOpen(&handle, PortNameList.names[selected]) != kPortOpened) {
    ShowPortOpenError(PortOpenFailureText(PortLastOpenFailure()));
    return;
  }
  ForgetConnectedController(form);
  state.openPort = handle;
  form.openCloseButton->label(tr("Close Port"));
  form.readButton->activate();
  form.writeButton->activate();
  state.link->port = handle;
}

void AddressEdited(xMainForm& form) { ForgetConnectedController(form); }

void ReadController(xMainForm& form) {
  AppState& state = form.state;
  ShowReadResult(form, ReadControllerState(*state.link, TypedAddress(form), state.controller));
}
