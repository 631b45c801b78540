// Test fills of 10 l (or 500 l with "Fulltank load") on one nozzle, followed
// on its Load button until the nozzle is idle again.
#include "app/test_fill.h"

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
  if (SendCommand(i, kCodePreset, preset, 1) != 1) {
    ShowAlert(tr("Failed to set volume"));
    return;
  }
  ActiveNozzle = n;
  LastVolume[i] = 0;
  widget->copy_label(tr("Starting.."));
  // A timer of the previous fill may still be due once more: one chain only.
  Fl::remove_timeout(FillTimer);
  Fl::add_timeout(0.001, FillTimer);
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
    if (state == kStateRunning) {
      format = tr("vol. %2d.%02d");
    } else if (state == kStateFinished || state == kStateFinishedClosed) {
      format = tr("fin %2d.%02d");
    } else if (state > kStateFinishedClosed) {
      format = tr("stp %2d.%02d");
    } else if (state == kStateIdle || state == kStateIdleReady) {
      button->copy_label(tr("Load 10l"));
      ActiveNozzle = 0;
    }
    if (format) {
      ShowVolume(button, format, status.amount);
      LastVolume[n - 1] = status.amount;
      if (MainForm->cngDiagsOutput->visible()) UpdateDiagnostics();
    }
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
