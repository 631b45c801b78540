// Test fills, one state machine per nozzle of every group: idle (0x10) ->
// preset -> running ('0', 0x30) with the amount rising at a set rate ->
// finished (0x40) at the preset -> idle after code 15 or the hold time. With a
// lift time the nozzle stays idle after the preset until it is lifted.
// Code 15 during a fill stops it (0x42). Time is passed in, in microseconds.
#pragma once
#include <cstdint>

#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/memory_image.h"

namespace fillstate {
constexpr uint8_t kIdle = 0x10;
constexpr uint8_t kRunning = 0x30;
constexpr uint8_t kFinished = 0x40;
constexpr uint8_t kStopped = 0x42;
}  // namespace fillstate

// Command functions carried in byte 1 of a nozzle command body.
namespace nozzlefn {
constexpr uint8_t kPreset = 0x01;
constexpr uint8_t kRemoteOff = 0x03;
constexpr uint8_t kClose = 0x0F;
constexpr uint8_t kRemoteOn = 0x13;
}  // namespace nozzlefn

struct FillSettings {
  int rateMlPerSecond = 1000;
  int holdMs = 10000;   // finished or stopped -> idle without code 15; 0 = never
  int startMs = 0;      // after a preset the pump starts: running, amount 0 this long
  int liftMs = 0;       // after a preset the nozzle stays idle this long (not yet lifted)
};

struct NozzleFill {
  uint8_t state = fillstate::kIdle;
  bool remote = false;      // flags bit 7: taken under the tool's control (0x13)
  uint8_t grade = 0;
  uint32_t amountMl = 0;
  uint32_t presetMl = 0;
  bool waitingForLift = false;   // preset taken, still idle until liftMs passed
  int64_t startUs = 0;
  int64_t endUs = 0;        // when it finished or stopped
};

class Fills {
 public:
  explicit Fills(FillSettings settings) : settings_(settings) {}

  // Reply byte: 0x00 accepted; 0xFF refused with *error set; other = error.
  uint8_t command(int group, int nozzle, uint8_t function, uint32_t valueMl, int64_t nowUs,
                  uint8_t* error);
  uint8_t preset(int group, int nozzle, uint32_t valueMl, uint8_t grade, int64_t nowUs,
                 uint8_t* error);
  void advance(int64_t nowUs);

  // The 8-byte status record of nozzle (0-based) of group; a nozzle beyond
  // the controller's count gets a record without data (flags bit 1 clear).
  void statusRecord(int group, int nozzle, int nozzleCount, uint8_t out[8]) const;
  // Pressure and mass flow per group into the diagnostics block.
  void updateDiagnostics(MemoryImage& memory, int groups) const;

  const NozzleFill& nozzle(int group, int nozzle) const { return nozzles_[group][nozzle]; }

 private:
  FillSettings settings_;
  NozzleFill nozzles_[layout::kMaxGroups][layout::kMaxNozzles];
};
