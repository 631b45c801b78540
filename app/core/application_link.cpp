#include "app/core/application_link.h"

#include <cstring>

#include "link/station_config.h"
#include "link/trk.h"

void ConfigureStatusTimeouts() {
  statusTimeoutFactor = 4;
  statusErrorTolerance = 1;
}

void ConfigureApplicationLink(Trk& link) {
  link.type = 18;
  link.nozzleCount = 4;
  link.sideCount = 1;
  link.firstPosition = 0;
  for (int position = 0; position < 8; position++) {
    link.nozzleCodes[position] = static_cast<int8_t>(position + 1);
  }
}

Trk* CreateApplicationLink() {
  std::memset(&stationConfig, 0, sizeof stationConfig);
  DispenserEntry& entry = stationConfig.dispensers[0];
  for (int position = 0; position < 8; position++) entry.grades[position] = 1;
  entry.flags = 0;
  entry.spareByte = 1;
  entry.spareWord = 0;

  Trk* link = new Trk(0, 1, 0, 0, 0);
  ConfigureApplicationLink(*link);
  linkTable[0] = link;
  return link;
}
