#include "app/read_trust.h"

#include <cstdio>

#include "app/catalog.h"
#include "app/controller_state.h"
#include "app/controller_view.h"
#include "app/main_form.h"
#include "link/trk.h"

namespace {
constexpr Fl_Color kBlack = 56;
}

int32_t TypedAddress() {
  unsigned parsed = 1;
  if (std::sscanf(MainForm->addressInput->value(), "%x", &parsed) != 1) parsed = 1;
  return static_cast<int32_t>(parsed);
}

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

void TrustRead(uint16_t port) {
  Controller.readCurrent = true;
  Controller.readPort = port;
  ShowReadValuesCurrent();
}

bool ReadIsCurrent() {
  const ControllerState& c = Controller;
  return c.readCurrent && OpenPortHandle != 0 && c.readPort == OpenPortHandle &&
         AppLink->port == OpenPortHandle && AppLink->address == c.address &&
         TypedAddress() == c.address;
}
