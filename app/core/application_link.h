// The one link to the dispenser controller, set up the same way for the
// window and the command line.
#pragma once

#include "link/station_config.h"

class Trk;

// The controller the link talks to: type 18, four nozzles on one side, nozzle
// codes 1..8; status replies may take 4 x 55 ms, and one reply with bad
// digits is tolerated. The tests' links are set up by it too, so they
// exercise the settings the tool runs with.
void ConfigureApplicationLink(Trk& link);
// Fills station (dispenser 0: every nozzle position sells grade 1) and
// creates the link from it as Trk(0, 1, 0, 0, 0): dispenser 0, address 1, no
// port yet, side 0, configuration record 0, configured by
// ConfigureApplicationLink. It is entry 0 of linkTable. station must outlive
// the link.
Trk* CreateApplicationLink(StationConfig& station);
// Takes the link out of linkTable and deletes it.
void DestroyApplicationLink(Trk* link);
