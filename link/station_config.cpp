#include "link/station_config.h"

// Zero until the main window fills in what it needs.
StationConfig stationConfig;
