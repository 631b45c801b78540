// The station configuration the link's constructor and Trk::selectNozzle read.
// Nothing fills it but the main window; everything else stays zero.
#pragma once
#include <cstdint>

struct DispenserConfigRecord {
  char name[20];
  int32_t nozzleCount;
  int32_t sideCount;
  int8_t nozzleCodes[14];
};

struct DispenserEntry {
  uint8_t controllerType;
  uint8_t grades[8];      // product grade of each nozzle position
  uint8_t flags;
  uint8_t spareByte;      // set by the window, read by nobody
  uint16_t spareWord;     // set by the window, read by nobody
};

struct ProductRecord {
  int32_t value;
};

constexpr int kConfigRecordCount = 16;
constexpr int kProductCount = 256;

struct StationConfig {
  DispenserConfigRecord configs[kConfigRecordCount];
  DispenserEntry dispensers[16];
  ProductRecord products[kProductCount];
};

extern StationConfig stationConfig;
