// The station configuration a link is made from: its constructor and
// Trk::selectNozzle read it. The tool fills one for its one link
// (CreateApplicationLink); a link given none reads kEmptyStation.
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

// All zero.
extern const StationConfig kEmptyStation;
