#include "app/core/application_link.h"

#include <cstring>

#include "link/trk.h"

void ConfigureApplicationLink(Trk& link) {
  link.type = 18;
  link.nozzleCount = 4;
  link.sideCount = 1;
  link.firstPosition = 0;
  for (int position = 0; position < 8; position++) {
    link.nozzleCodes[position] = static_cast<int8_t>(position + 1);
  }
  link.statusTimeoutFactor = 4;
  link.statusErrorTolerance = 1;
}

Trk* CreateApplicationLink(StationConfig& station) {
  std::memset(&station, 0, sizeof station);
  DispenserEntry& entry = station.dispensers[0];
  for (int position = 0; position < 8; position++) entry.grades[position] = 1;
  entry.flags = 0;
  entry.spareByte = 1;
  entry.spareWord = 0;

  Trk* link = new Trk(0, 1, 0, 0, 0, station);
  ConfigureApplicationLink(*link);
  linkTable[0] = link;
  return link;
}

void DestroyApplicationLink(Trk* link) {
  if (link == nullptr) return;
  for (Trk*& entry : linkTable) {
    if (entry == link) entry = nullptr;
  }
  delete link;
}
