#include "tools/dispenser_sim/layout.h"

#include <cstdio>

#include "link/frame.h"

namespace layout {
namespace {

constexpr int kSettingsSize = 16;

// Offsets of N, G and the group addresses in the main settings. Variant 0
// lists every group; variants 1 and 2 name group 0 and keep group 1 in the
// byte after it.
struct SettingsFields {
  int nozzlesAt, groupsAt, firstAddressAt;
};

SettingsFields fields(int variant) {
  switch (variant) {
    case 0: return {5, 6, 1};
    case 1: return {4, 5, 2};
    default: return {10, 9, 3};
  }
}

// Coefficients of a fresh controller: near 1.0, different per nozzle, so a
// reader can tell the records apart.
uint64_t freshK(int nozzle, int group) {
  return (1ull << 32) + static_cast<uint64_t>(nozzle + 1) * 4294967ull +
         static_cast<uint64_t>(group) * 42949673ull;
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int maxGroups(int variant) { return variant == 0 ? 4 : 2; }

Shape readShape(const MemoryImage& memory) {
  Shape shape;
  uint8_t status = memory.get(2, kStatusByte);
  shape.variant = (status & 0x20) ? 2 : ((status & 0x80) ? 1 : 0);
  SettingsFields f = fields(shape.variant);
  uint8_t block[256] = {};
  memory.getBlock(0, kSettings, block, memory.get(0, kSettingsLength));
  shape.nozzles = block[f.nozzlesAt];
  if (shape.nozzles < 1) shape.nozzles = 1;
  if (shape.nozzles > kMaxNozzles) shape.nozzles = kMaxNozzles;
  shape.groups = block[f.groupsAt];
  if (shape.groups < 1) shape.groups = 1;
  if (shape.groups > maxGroups(shape.variant)) shape.groups = maxGroups(shape.variant);
  for (int g = 0; g < shape.groups; ++g) shape.groupAddress[g] = block[f.firstAddressAt + g];
  return shape;
}

void build(const ControllerLayout& controllerLayout, MemoryImage& memory) {
  memory.clear();
  const uint8_t status[] = {0x01, 0x81, 0x21};
  memory.set(2, kStatusByte, status[controllerLayout.variant]);

  uint8_t settings[kSettingsSize] = {};
  SettingsFields f = fields(controllerLayout.variant);
  settings[0] = static_cast<uint8_t>(0x10 + controllerLayout.variant);
  settings[f.nozzlesAt] = static_cast<uint8_t>(controllerLayout.nozzles);
  settings[f.groupsAt] = static_cast<uint8_t>(controllerLayout.groups);
  for (int g = 0; g < controllerLayout.groups; ++g)
    settings[f.firstAddressAt + g] = static_cast<uint8_t>(controllerLayout.groupAddress[g]);
  if (controllerLayout.variant != 2)
    settings[kSettingsSize - 1] =
        static_cast<uint8_t>(frameChecksum(settings, kSettingsSize - 1));
  memory.set(0, kSettingsLength, kSettingsSize);
  memory.setBlock(0, kSettings, settings, kSettingsSize);

  Shape shape = readShape(memory);
  for (int g = 0; g < controllerLayout.groups; ++g) {
    const uint8_t common[kCommonSize] = {0, static_cast<uint8_t>(12 + g), 0, 1, 3, 23};
    memory.setBlock(0, commonBlock(g), common, kCommonSize);
    for (int i = 0; i < controllerLayout.nozzles; ++i) {
      uint64_t k = freshK(i, g);
      if (controllerLayout.variant == 2) {
        uint8_t r[kShortRecordSize] = {};
        put32(r, static_cast<uint32_t>(k));
        r[11] = static_cast<uint8_t>(k >> 32);
        r[12] = static_cast<uint8_t>(2 + i);
        memory.setBlock(0, record(shape, i, g), r, kShortRecordSize);
      } else {
        // K2 a little above K, so the K2 / K ratio a recalculation keeps is visible.
        uint64_t k2 = k + 8589935ull;
        uint8_t r[kRecordSize] = {};
        put32(r, static_cast<uint32_t>(k));
        r[4] = static_cast<uint8_t>(k >> 32);
        put32(r + 5, static_cast<uint32_t>(k2));
        r[9] = static_cast<uint8_t>(k2 >> 32);
        put32(r + 10, static_cast<uint32_t>(k2) - static_cast<uint32_t>(k));
        r[14] = 100;  // reset divisor W = 100: a reset gives the coefficient 1.0
        r[17] = static_cast<uint8_t>(3 + i);
        memory.setBlock(0, record(shape, i, g), r, kRecordSize);
      }
    }
  }
  // Diagnostics: the whole block present; the fills keep it up to date.
  for (int i = 0; i < kDiagnosticsSize; ++i) memory.set(2, kDiagnostics + i, 0);
}

int groupOf(const Shape& shape, int linkAddress) {
  if (linkAddress == kServiceAddress) return 0;
  for (int g = 0; g < shape.groups; ++g)
    if (shape.groupAddress[g] == linkAddress) return g;
  return -1;
}

uint32_t commonBlock(int group) { return static_cast<uint32_t>(0x40 + group) << 8; }

uint32_t record(const Shape& shape, int nozzle, int group) {
  if (shape.variant == 2) return static_cast<uint32_t>(0x10 + 2 * nozzle + group) << 8;
  return static_cast<uint32_t>(0x10 + nozzle + shape.nozzles * group) << 8;
}

uint32_t passwordState(int variant) { return variant == 2 ? kPasswordState2 : kPasswordState01; }
int passwordBank(int variant) { return variant == 2 ? 2 : 0; }
uint32_t passwordEntry(int variant) { return variant == 2 ? kPasswordEntry2 : kPasswordEntry01; }

std::string areaStartingAt(const Shape& shape, int bank, uint32_t address) {
  char text[64];
  if (bank == 2 && address == kStatusByte) return "status byte";
  if (bank == 2 && address == kDiagnostics) return "diagnostics";
  if (bank == passwordBank(shape.variant) && address == passwordState(shape.variant))
    return "password state";
  if (bank == passwordBank(shape.variant) && address == passwordEntry(shape.variant))
    return "password entry";
  if (shape.variant == 2 && bank == 2 && address == kCalibrationMessage)
    return "calibration message";
  if (bank != 0) return "";
  if (address == kSettingsLength) return "main settings length";
  if (address == kSettings) return "main settings";
  if (address == kCommit) return "commit";
  for (int g = 0; g < kMaxGroups; ++g) {
    if (address == commonBlock(g)) {
      std::snprintf(text, sizeof text, "common block, group %d", g);
      return text;
    }
    if (address == commonBlock(g) + 1) {
      std::snprintf(text, sizeof text, "calibration counter, group %d", g);
      return text;
    }
  }
  for (int g = 0; g < shape.groups; ++g)
    for (int i = 0; i < shape.nozzles; ++i)
      if (address == record(shape, i, g)) {
        std::snprintf(text, sizeof text, "calibration record, group %d nozzle %d", g, i + 1);
        return text;
      }
  return "";
}

std::string areaHolding(const Shape& shape, int bank, uint32_t address) {
  // Areas are small (at most 24 bytes): look back for the start of one.
  for (uint32_t back = 0; back < 24 && back <= address; ++back) {
    std::string name = areaStartingAt(shape, bank, address - back);
    if (!name.empty()) return back == 0 ? name : name + " +" + std::to_string(back);
  }
  return "";
}

}  // namespace layout
