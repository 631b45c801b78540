#include "app/window/read_trust.h"

#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/window/controller_view.h"
#include "app/core/controller_state.h"
#include "app/core/read_procedure.h"
#include "app/window/main_form.h"
#include "link/trk.h"

namespace {
constexpr Fl_Color kBlack = 56;
}

int32_t TypedAddress(xMainForm& form) { return ParseControllerAddress(form.addressInput->value()); }

void DistrustRead(xMainForm& form) {
  form.state.controller.readCurrent = false;
  ShowReadValuesStale(form);
}

void ForgetConnectedController(xMainForm& form) {
  DistrustRead(form);
  for (int32_t& volume : form.state.lastVolume) volume = 0;
  form.stateBox->label(tr("Connection state"));
  form.stateBox->labelcolor(kBlack);
  form.redraw();
}

bool ReadIsCurrent(xMainForm& form) {
  const AppState& state = form.state;
  const ControllerState& c = state.controller;
  return state.openPort != 0 && c.readPort == state.openPort && TypedAddress(form) == c.address &&
         ReadIsCurrentFor(c, *state.link);
}
