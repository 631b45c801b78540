// Test fills of 10 l (or 500 l with "Fulltank load") on one nozzle, followed
// on its Load button until the nozzle is idle again.
#include "app/window/fill_buttons.h"

#include <cstdint>

#include <FL/Fl.H>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/read_trust.h"
#include "link/trk.h"

namespace {

void ShowVolume(Fl_Button* button, const char* format, int32_t amount) {
  char text[64];
  FormatVolume(text, sizeof text, format, amount);
  button->copy_label(text);
}

void StartFollowing(xMainForm& form, int n, FillStart start) {
  AppState& state = form.state;
  state.activeNozzle = n;
  state.lastVolume[n - 1] = 0;
  state.fill = BeginFollowing(*state.link, start);
  form.nozzleLoadButtons[n]->copy_label(tr("Starting.."));
  // A timer of the previous fill may still be due once more: one chain only.
  Fl::remove_timeout(FillTimer);
  Fl::add_timeout(0.001, FillTimer, &form);
}

}  // namespace

void LoadNozzle(xMainForm& form, int i) {
  AppState& state = form.state;
  const int n = i + 1;
  if (state.activeNozzle != 0 && state.activeNozzle != n) {
    ShowAlert(tr("Another nozzle is active!"));
    return;
  }
  if (state.activeNozzle == n) {
    StopTestFill(*state.link, i);
    return;
  }

  const int32_t preset = form.fullTankCheck->value() ? kFullTankPresetMl : kPresetMl;
  const FillStart start = StartTestFill(*state.link, i, preset);
  switch (start) {
    case FillStart::kPumpBusy:
      ShowAlert(tr("Pump is busy now (filling is not complete)"));
      return;
    case FillStart::kPresetFailed:
      ShowAlert(tr("Failed to set volume"));
      return;
    case FillStart::kStarted:
    case FillStart::kPresetUnanswered: StartFollowing(form, n, start); return;
  }
}

void EndFollowedFill(xMainForm& form) {
  Fl::remove_timeout(FillTimer);
  const int n = form.state.activeNozzle;
  form.state.activeNozzle = 0;
  if (n >= 1 && n <= kNozzleRows) form.nozzleLoadButtons[n]->copy_label(tr("Load 10l"));
}

void FillTimer(void* data) {
  xMainForm& form = *static_cast<xMainForm*>(data);
  AppState& state = form.state;
  const int n = state.activeNozzle;
  if (n == 0) return;
  Fl_Button* button = form.nozzleLoadButtons[n];
  const FillStatus status = PollTestFill(*state.link, n - 1, state.fill);
  const char* format = nullptr;
  switch (status.phase) {
    case FillPhase::kRunning: format = tr("vol. %2d.%02d"); break;
    case FillPhase::kFinished: format = tr("fin %2d.%02d"); break;
    case FillPhase::kStopped: format = tr("stp %2d.%02d"); break;
    case FillPhase::kEnded:
      button->copy_label(tr("Load 10l"));
      state.activeNozzle = 0;
      break;
    case FillPhase::kNeverStarted:
      EndFollowedFill(form);
      // Only now is it known that an unanswered preset was not taken.
      if (state.fill.presetUnanswered) ShowAlert(tr("Failed to set volume"));
      return;
    case FillPhase::kOtherConnection:
      EndFollowedFill(form);
      ForgetConnectedController(form);
      ShowAlert(tr("The port connected anew during the test fill: the controller may be "
                   "another one. The fill is no longer followed; read the controller again."));
      return;
    case FillPhase::kNoNews: break;
  }
  if (format) {
    ShowVolume(button, format, status.amount);
    state.lastVolume[n - 1] = status.amount;
    if (form.cngDiagsOutput->visible()) UpdateDiagnostics(form);
  }
  // The next poll goes 10 ms after this one ended. A repeat timeout would
  // count the 10 ms from when this one was due: a poll takes longer than
  // that, so polls would follow each other with no pause at all.
  Fl::add_timeout(0.01, FillTimer, &form);
}

void UpdateDiagnostics(xMainForm& form) {
  int massFlow = 0;
  int pressure = 0;
  const AppState& state = form.state;
  if (!ReadDiagnostics(*state.link, state.controller.groupIndex, &massFlow, &pressure)) return;
  char text[128];
  FormatDiagnostics(text, sizeof text, massFlow, pressure);
  form.cngDiagsOutput->value(text);
}
