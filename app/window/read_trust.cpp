#include "app/window/read_trust.h"

#include "app/catalog/catalog.h"
#include "app/window/controller_view.h"
#include "app/core/controller_state.h"
#include "app/core/read_procedure.h"
#include "app/window/main_form.h"
#include "link/trk.h"

namespace {
constexpr Fl_Color kBlack = 56;
}

int32_t TypedAddress() { return ParseControllerAddress(MainForm->addressInput->value()); }

void DistrustRead() {
  Controller.readCurrent = false;
  ShowReadValuesStale();
}

void ForgetConnectedController() {
  DistrustRead();
  for (int32_t& volume : LastVolume) volume = 0;
  MainForm->stateBox->label(tr("Connection state"));
  MainForm->stateBox->labelcolor(kBlack);
  MainForm->redraw();
}

bool ReadIsCurrent() {
  const ControllerState& c = Controller;
  return OpenPortHandle != 0 && c.readPort == OpenPortHandle && TypedAddress() == c.address &&
         ReadIsCurrentFor(c, *AppLink);
}
