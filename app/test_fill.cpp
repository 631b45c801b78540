// Test fills of 10 l (or 500 l with "Fulltank load") on one nozzle, followed
// on its Load button until the nozzle is idle again.
#include "app/test_fill.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

#include <FL/Fl.H>

#include "app/alert.h"
#include "app/catalog.h"
#include "app/controller_state.h"
#include "app/main_form.h"
#include "app/poll.h"
#include "app/procedures.h"
#include "link/trk.h"

namespace {

constexpr int16_t kCodePreset = 1;   // carries the preset in millilitres
constexpr int16_t kCodeStop = 15;    // stops a running fill, closes a finished one
constexpr int kDiagnosticsSize = 24;

// Nozzle state codes reported in the status records.
constexpr uint8_t kStateIdle = 0x00;
constexpr uint8_t kStateIdleReady = 0x10;
constexpr uint8_t kStateRunning = '0';   // 0x30
constexpr uint8_t kStateFinished = 0x40;
constexpr uint8_t kStateFinishedClosed = 0x41;

// A pump that has not left idle this long after its preset is taken not to
// have started (it refused the preset, or never got it): the window stops
// following it. The link believes a sudden amount only on the third reply,
// so a pump that reports an amount at once still shows idle for two polls.
constexpr std::chrono::seconds kStartBound{5};
// Status polls that tell whether a preset whose answer was lost started the
// pump anyway: enough for the two held-back replies and a few failed polls.
constexpr int kPresetCheckPolls = 6;
constexpr int kPresetCheckPauseMs = 10;

// The fill being followed. Until the nozzle is seen leaving idle, an idle
// state is the one from before the preset and does not end the fill.
struct Following {
  bool leftIdle = false;
  std::chrono::steady_clock::time_point startedAt;
};
Following Fill;

bool IsIdle(uint8_t state) { return state == kStateIdle || state == kStateIdleReady; }
// Running, finished, stopped or any other state above idle-ready.
bool LeftIdle(uint8_t state) { return state > kStateIdleReady; }

NozzleRecord& SharedRecord(int i) {
  return NozzleTable[AppLink->dispenser * kNozzlesPerDispenser + i];
}

int SendCommand(int i, int16_t code, int32_t value, int sleepMs) {
  NozzleCommand command{0, value, code};
  return PollUntilDone([&] { return AppLink->nozzleCommand(i, &command); }, sleepMs);
}

void ShowVolume(Fl_Button* button, const char* format, int32_t amount) {
  char text[64];
  FormatVolume(text, sizeof text, format, amount);
  button->copy_label(text);
}

// Stop or close the fill on the nozzle being followed.
void StopActiveFill(int i) {
  const uint8_t state = SharedRecord(i).state;
  if (state == 0x20 || state == 0x21 || state == kStateRunning) {
    SendCommand(i, kCodeStop, 0, 0);   // a running fill: no pause between steps
  } else if (state >= 0x40) {
    SendCommand(i, kCodeStop, 0, 1);
  }
}

// A preset whose answer was missing or garbled may still have reached the
// controller: the nozzle's status tells whether its pump runs.
bool PumpStartedAnyway(int i) {
  for (int poll = 0; poll < kPresetCheckPolls; ++poll) {
    NozzleRecord status;
    if (AppLink->readNozzleStatus(i, &status) == 1 && LeftIdle(status.state)) return true;
    SleepMs(kPresetCheckPauseMs);
  }
  return false;
}

void StartFollowing(Fl_Widget* button, int n, bool leftIdle) {
  ActiveNozzle = n;
  LastVolume[n - 1] = 0;
  Fill.leftIdle = leftIdle;
  Fill.startedAt = std::chrono::steady_clock::now();
  button->copy_label(tr("Starting.."));
  // A timer of the previous fill may still be due once more: one chain only.
  Fl::remove_timeout(FillTimer);
  Fl::add_timeout(0.001, FillTimer);
}

}  // namespace

void FormatVolume(char* out, size_t size, const char* format, int32_t amount) {
  std::snprintf(out, size, format, amount / 1000, (amount / 10) % 100);
}

void FormatDiagnostics(char* out, size_t size, int massFlow, int pressure) {
  std::snprintf(out, size, tr("mass flow %3d.%d\npressure  %3d.%d"), massFlow / 10, massFlow % 10,
                pressure / 10, pressure % 10);
}

void LoadNozzleCallback(Fl_Widget* widget, void* nozzleIndex) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(nozzleIndex));
  const int n = i + 1;
  if (ActiveNozzle != 0 && ActiveNozzle != n) {
    ShowAlert(tr("Another nozzle is active!"));
    return;
  }
  if (ActiveNozzle == n) {
    StopActiveFill(i);
    return;
  }

  NozzleRecord status;
  AppLink->readNozzleStatus(i, &status);
  if (!(SharedRecord(i).flags & 0x80)) {
    PollUntilDone([&] { return AppLink->sendFunction13(i); });
  }
  if (status.state > 0x10) SendCommand(i, kCodeStop, 0, 1);
  AppLink->readNozzleStatus(i, &status);
  if (status.state > 0x10) {
    ShowAlert(tr("Pump is busy now (filling is not complete)"));
    return;
  }

  AppLink->fillKind = 0;
  const int32_t preset = MainForm->fullTankCheck->value() ? 500000 : 10000;
  const int result = SendCommand(i, kCodePreset, preset, 1);
  if (result == 1) {
    StartFollowing(widget, n, false);
    return;
  }
  // Refused is refused; a lost or garbled answer leaves it open.
  if (result != -3 && PumpStartedAnyway(i)) {
    StartFollowing(widget, n, true);
    return;
  }
  ShowAlert(tr("Failed to set volume"));
}

void EndFollowedFill() {
  Fl::remove_timeout(FillTimer);
  const int n = ActiveNozzle;
  ActiveNozzle = 0;
  if (n >= 1 && n <= kNozzleRows) nozzleLoadButtons[n]->copy_label(tr("Load 10l"));
}

void FillTimer(void*) {
  const int n = ActiveNozzle;
  if (n == 0) return;
  Fl_Button* button = nozzleLoadButtons[n];
  NozzleRecord status;
  if (AppLink->readNozzleStatus(n - 1, &status) == 1) {
    const uint8_t state = status.state;
    const char* format = nullptr;
    if (LeftIdle(state)) Fill.leftIdle = true;
    if (state == kStateRunning) {
      format = tr("vol. %2d.%02d");
    } else if (state == kStateFinished || state == kStateFinishedClosed) {
      format = tr("fin %2d.%02d");
    } else if (state > kStateFinishedClosed) {
      format = tr("stp %2d.%02d");
    } else if (IsIdle(state) && Fill.leftIdle) {
      button->copy_label(tr("Load 10l"));
      ActiveNozzle = 0;
    }
    if (format) {
      ShowVolume(button, format, status.amount);
      LastVolume[n - 1] = status.amount;
      if (MainForm->cngDiagsOutput->visible()) UpdateDiagnostics();
    }
  }
  // Never seen running: the pump did not start, and the window is not to
  // follow it for ever.
  if (ActiveNozzle != 0 && !Fill.leftIdle &&
      std::chrono::steady_clock::now() - Fill.startedAt >= kStartBound) {
    button->copy_label(tr("Load 10l"));
    ActiveNozzle = 0;
  }
  Fl::repeat_timeout(0.01, FillTimer);
}

void UpdateDiagnostics() {
  uint8_t block[kDiagnosticsSize];
  const int result = PollUntilDone(
      [&] { return AppLink->readBlock(kDiagnosticsAddress, 2, kDiagnosticsSize, block); }, 15);
  if (result != 1) return;
  // Pressure at 8 + 2g, mass flow at 20 + 2g: the block holds two groups' flow.
  const int g = Controller.groupIndex;
  if (20 + 2 * g + 1 >= kDiagnosticsSize) return;
  const int pressure = block[8 + 2 * g] | block[9 + 2 * g] << 8;
  const int massFlow = block[20 + 2 * g] | block[21 + 2 * g] << 8;
  char text[128];
  FormatDiagnostics(text, sizeof text, massFlow, pressure);
  MainForm->cngDiagsOutput->value(text);
}
