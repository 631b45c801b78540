// Test fills of 10 l (or 500 l with "Fulltank load") on one nozzle, followed
// on its Load button until the nozzle is idle again.
#include "app/window/fill_buttons.h"

#include <cstdint>

#include <FL/Fl.H>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/read_trust.h"
#include "link/trk.h"

namespace {

// The fill the timer follows.
FillFollowing Fill;

void ShowVolume(Fl_Button* button, const char* format, int32_t amount) {
  char text[64];
  FormatVolume(text, sizeof text, format, amount);
  button->copy_label(text);
}

void StartFollowing(Fl_Widget* button, int n, FillStart start) {
  ActiveNozzle = n;
  LastVolume[n - 1] = 0;
  Fill = BeginFollowing(*AppLink, start);
  button->copy_label(tr("Starting.."));
  // A timer of the previous fill may still be due once more: one chain only.
  Fl::remove_timeout(FillTimer);
  Fl::add_timeout(0.001, FillTimer);
}

}  // namespace

void LoadNozzleCallback(Fl_Widget* widget, void* nozzleIndex) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(nozzleIndex));
  const int n = i + 1;
  if (ActiveNozzle != 0 && ActiveNozzle != n) {
    ShowAlert(tr("Another nozzle is active!"));
    return;
  }
  if (ActiveNozzle == n) {
    StopTestFill(*AppLink, i);
    return;
  }

  const int32_t preset = MainForm->fullTankCheck->value() ? kFullTankPresetMl : kPresetMl;
  const FillStart start = StartTestFill(*AppLink, i, preset);
  switch (start) {
    case FillStart::kPumpBusy:
      ShowAlert(tr("Pump is busy now (filling is not complete)"));
      return;
    case FillStart::kPresetFailed:
      ShowAlert(tr("Failed to set volume"));
      return;
    case FillStart::kStarted:
    case FillStart::kPresetUnanswered: StartFollowing(widget, n, start); return;
  }
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
  const FillStatus status = PollTestFill(*AppLink, n - 1, Fill);
  const char* format = nullptr;
  switch (status.phase) {
    case FillPhase::kRunning: format = tr("vol. %2d.%02d"); break;
    case FillPhase::kFinished: format = tr("fin %2d.%02d"); break;
    case FillPhase::kStopped: format = tr("stp %2d.%02d"); break;
    case FillPhase::kEnded:
      button->copy_label(tr("Load 10l"));
      ActiveNozzle = 0;
      break;
    case FillPhase::kNeverStarted:
      EndFollowedFill();
      // Only now is it known that an unanswered preset was not taken.
      if (Fill.presetUnanswered) ShowAlert(tr("Failed to set volume"));
      return;
    case FillPhase::kOtherConnection:
      EndFollowedFill();
      ForgetConnectedController();
      ShowAlert(tr("The port connected anew during the test fill: the controller may be "
                   "another one. The fill is no longer followed; read the controller again."));
      return;
    case FillPhase::kNoNews: break;
  }
  if (format) {
    ShowVolume(button, format, status.amount);
    LastVolume[n - 1] = status.amount;
    if (MainForm->cngDiagsOutput->visible()) UpdateDiagnostics();
  }
  // The next poll goes 10 ms after this one ended. A repeat timeout would
  // count the 10 ms from when this one was due: a poll takes longer than
  // that, so polls would follow each other with no pause at all.
  Fl::add_timeout(0.01, FillTimer);
}

void UpdateDiagnostics() {
  int massFlow = 0;
  int pressure = 0;
  if (!ReadDiagnostics(*AppLink, Controller.groupIndex, &massFlow, &pressure)) return;
  char text[128];
  FormatDiagnostics(text, sizeof text, massFlow, pressure);
  MainForm->cngDiagsOutput->value(text);
}
