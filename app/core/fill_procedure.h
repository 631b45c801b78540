// Test fills on one nozzle: start one with a preset, stop or close it, look at
// how it goes, and read the CNG diagnostics. The window follows a fill with a
// timer over these steps.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

class Trk;

constexpr int32_t kPresetMl = 10000;           // "Load 10l"
constexpr int32_t kFullTankPresetMl = 500000;  // with "Fulltank load"

enum class FillStart {
  kStarted,            // the preset was taken
  kPresetUnanswered,   // its answer was missing, late or garbled: it may have been taken
  kPumpBusy,           // the nozzle is still in a fill that did not end
  kPresetFailed,       // the controller refused it
};
// Load on nozzle i (0-based) with no fill followed: readies the nozzle, closes
// what is left of a previous fill, and sends the preset in millilitres. A
// preset whose answer was missing, late or garbled may still have reached the
// controller: the nozzle is then followed like any other, and only its status
// tells whether the pump started.
FillStart StartTestFill(Trk& link, int i, int32_t presetMl);
// Load pressed again on the nozzle followed: stops a running fill, closes a
// finished one, per the state the link last took for it.
void StopTestFill(Trk& link, int i);

// A pump that has not left idle this long after its preset is taken not to
// have started (it refused the preset, or never got it): the fill is no
// longer followed. The link believes a sudden amount only on the third reply,
// so a pump that reports an amount at once still shows idle for two polls.
constexpr std::chrono::seconds kFillStartBound{5};

// The fill being followed. Until the nozzle is seen leaving idle, an idle
// state is the one from before the preset and does not end the fill.
struct FillFollowing {
  bool leftIdle = false;
  // The preset's answer did not come: a pump that never starts means it failed.
  bool presetUnanswered = false;
  std::chrono::steady_clock::time_point startedAt;
  // The port's connection the fill was started over (PortConnection).
  uint32_t connection = 0;
};
// Following from now, over link's port as it is connected now.
FillFollowing BeginFollowing(const Trk& link, FillStart start);

enum class FillPhase {
  kNoNews,         // the status read failed, or a state that says nothing here
  kRunning,
  kFinished,
  kStopped,
  kEnded,          // idle again after it had left idle
  kNeverStarted,   // still idle kFillStartBound after the start
  kOtherConnection,   // the port connected anew: the controller may be another one
};
struct FillStatus {
  FillPhase phase;
  int32_t amount;   // millilitres delivered, for the three volume phases
};
// One status read of nozzle i, judged against the fill followed.
FillStatus PollTestFill(Trk& link, int i, FillFollowing& following);

// Mass flow and pressure of group g, both in tenths, from the diagnostics
// block; false when the block did not come.
bool ReadDiagnostics(Trk& link, int group, int* massFlow, int* pressure);

// "vol. %2d.%02d" and its kin: whole litres and hundredths of amount (ml).
void FormatVolume(char* out, size_t size, const char* format, int32_t amount);
// The diagnostics text of a mass flow and a pressure, both in tenths.
void FormatDiagnostics(char* out, size_t size, int massFlow, int pressure);
