#include "link/station_config.h"

const StationConfig kEmptyStation{};
