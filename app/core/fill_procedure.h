// Test fills on one nozzle: start one with a preset, stop or close it, look at
// how it goes, and read the CNG diagnostics. The window follows a fill with a
// timer over these steps.
#pragma once
#include <cstddef>
#include <cstdint>

class Trk;

constexpr int32_t kPresetMl = 10000;           // "Load 10l"
constexpr int32_t kFullTankPresetMl = 500000;  // with "Fulltank load"

enum class FillStart {
  kStarted,        // the preset was taken: the pump runs
  kPumpBusy,       // the nozzle is still in a fill that did not end
  kPresetFailed,   // the preset got no good answer
};
// Load on nozzle i (0-based) with no fill followed: readies the nozzle, closes
// what is left of a previous fill, and sends the preset in millilitres.
FillStart StartTestFill(Trk& link, int i, int32_t presetMl);
// Load pressed again on the nozzle followed: stops a running fill, closes a
// finished one, per the state the link last took for it.
void StopTestFill(Trk& link, int i);

enum class FillPhase {
  kNoAnswer,   // the status read failed, or a state that says nothing here
  kRunning,
  kFinished,
  kStopped,
  kIdle,
};
struct FillStatus {
  FillPhase phase;
  int32_t amount;   // millilitres delivered, for the three volume phases
};
// One status read of nozzle i.
FillStatus PollTestFill(Trk& link, int i);

// Mass flow and pressure of group g, both in tenths, from the diagnostics
// block; false when the block did not come.
bool ReadDiagnostics(Trk& link, int group, int* massFlow, int* pressure);

// "vol. %2d.%02d" and its kin: whole litres and hundredths of amount (ml).
void FormatVolume(char* out, size_t size, const char* format, int32_t amount);
// The diagnostics text of a mass flow and a pressure, both in tenths.
void FormatDiagnostics(char* out, size_t size, int massFlow, int pressure);
