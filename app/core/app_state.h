// What the program works with while it runs, in one place: the link, the port
// open for it, what Read found and the test fill followed. The window and the
// command line each make one and hand it to what they run; nothing here knows
// about a window.
#pragma once
#include <cstdint>

#include "app/core/controller_state.h"
#include "app/core/fill_procedure.h"
#include "link/station_config.h"

class Trk;

struct AppState {
  AppState() = default;
  // The link keeps a reference to station.
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  // The station configuration the link was made from (CreateApplicationLink).
  StationConfig station{};
  Trk* link = nullptr;       // the one link, also linkTable[0]
  uint16_t openPort = 0;     // 0 = no port open
  // What the last Read found, kept until the next Read.
  ControllerState controller{};
  // Test fills: the nozzle followed (1..8, 0 = none), how its fill goes, and
  // the last volume shown per nozzle in millilitres (0 = none since its last
  // fill started; Write scales a "..." entry by it).
  int activeNozzle = 0;
  FillFollowing fill;
  int32_t lastVolume[kControllerNozzles] = {};
};
