// Where the controller keeps what the service tool reads and writes, per
// controller variant, and how a fresh controller's memory is laid out.
#pragma once
#include <cstdint>
#include <string>

#include "tools/dispenser_sim/memory_image.h"

namespace layout {

constexpr uint32_t kStatusByte = 0x24;          // bank 2: variant bits 5 and 7
constexpr uint32_t kDiagnostics = 0x29;         // bank 2: 24 bytes
constexpr int kDiagnosticsSize = 24;
constexpr uint32_t kSettingsLength = 0x3100;    // bank 0: length L of the main settings
constexpr uint32_t kSettings = 0x3101;          // bank 0: L bytes
constexpr uint32_t kPasswordState01 = 0x5300;   // bank 0: 16 bytes (variants 0, 1)
constexpr uint32_t kPasswordEntry01 = 0x5302;   // bank 0: P / 100, P % 100
constexpr uint32_t kPasswordState2 = 2;         // bank 2: 16 bytes (variant 2)
constexpr uint32_t kPasswordEntry2 = 3;         // bank 2: P, 16-bit little-endian
constexpr uint32_t kCalibrationMessage = 6;     // bank 2: 6 bytes (variant 2)
constexpr uint32_t kCommit = 0x88FFFF;          // bank 0: the byte 0x55 commits
constexpr uint8_t kCommitByte = 0x55;
constexpr int kPasswordStateSize = 16;
constexpr int kRecordSize = 19;                 // calibration record, variants 0 and 1
constexpr int kShortRecordSize = 15;            // variant 2
constexpr int kCommonSize = 6;
constexpr int kMaxNozzles = 8;
constexpr int kMaxGroups = 4;
constexpr int kServiceAddress = 0xF0;           // always answers as group 0

// The controller as described by its own memory.
struct Shape {
  int variant = 0;       // 0, 1 or 2
  int nozzles = 1;       // N, 1-8
  int groups = 1;        // G
  int groupAddress[kMaxGroups] = {};
};

// What a fresh controller is made from (the command line).
struct ControllerLayout {
  int variant = 1;
  int nozzles = 4;
  int groups = 1;
  int groupAddress[kMaxGroups] = {1, 2, 3, 4};
};

int maxGroups(int variant);   // 4 for variant 0, 2 otherwise
Shape readShape(const MemoryImage& memory);
void build(const ControllerLayout& controllerLayout, MemoryImage& memory);

// Group served by a link address, or -1 when the address is not ours.
int groupOf(const Shape& shape, int linkAddress);

uint32_t commonBlock(int group);                               // bank 0
uint32_t record(const Shape& shape, int nozzle, int group);    // bank 0
uint32_t passwordState(int variant);
int passwordBank(int variant);
uint32_t passwordEntry(int variant);

// Name of the area that starts at (bank, address), or "" when none does.
std::string areaStartingAt(const Shape& shape, int bank, uint32_t address);
// Name of the area holding (bank, address), or "".
std::string areaHolding(const Shape& shape, int bank, uint32_t address);

}  // namespace layout
