#include "app/window/controller_view.h"

#include <algorithm>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/core/controller_text.h"
#include "app/window/main_form.h"

namespace {

constexpr Fl_Color kRed = 88;
constexpr Fl_Color kBlack = 56;

// Rows 1..N visible, the rest hidden; the Common counter input and the
// full-tank check go under the last visible row.
void ArrangeNozzleRows(xMainForm& form, int rows) {
  for (int n = 1; n <= kNozzleRows; ++n) {
    Fl_Widget* row[3] = {form.nozzleCoefficientInputs[n], form.nozzleLoadButtons[n],
                         form.nozzleNumberFields[n]};
    for (Fl_Widget* w : row) {
      if (n <= rows) w->show(); else w->hide();
    }
  }
  const int last = std::max(rows, 1);
  Fl_Input* first = form.nozzleCoefficientInputs[1];
  form.commonCounterInput->resize(first->x(), form.nozzleCoefficientInputs[last]->y() + 42,
                                  first->w(), first->h());
  Fl_Check_Button* check = form.fullTankCheck;
  check->resize(form.nozzleLoadButtons[1]->x(), form.nozzleLoadButtons[last]->y() + 34,
                check->w(), check->h());
  check->show();
}

void ShowCngProbe(xMainForm& form) {
  const ControllerState& controller = form.state.controller;
  Fl_Multiline_Input* output = form.cngDiagsOutput;
  switch (controller.cngProbe) {
    case CngProbe::kNotProbed: break;   // variants 0 and 1 leave it as it was
    case CngProbe::kAbsent: output->hide(); break;
    case CngProbe::kPresent:
      output->show();
      output->value(controller.cngText);
      break;
  }
}

void ShowNozzleRecords(xMainForm& form) {
  const ControllerState& controller = form.state.controller;
  for (int i = 0; i < NozzleRecordsRead(controller); ++i) {
    if (controller.recordReceived[i]) {
      ShowCoefficient(form, i);
      ShowNozzleNumber(form, i);
    } else {
      form.nozzleCoefficientInputs[i + 1]->value("???");
      form.nozzleNumberFields[i + 1]->value("?");
    }
    form.nozzleEdited[i] = 0;
  }
}

}  // namespace

void ShowReadResult(xMainForm& form, ReadOutcome outcome) {
  const ControllerState& controller = form.state.controller;
  // Greyed unless this Read got through: nothing shown can be taken for the
  // connected controller's values.
  if (outcome == ReadOutcome::kRead) {
    ShowReadValuesCurrent(form);
  } else {
    ShowReadValuesStale(form);
  }
  if (outcome == ReadOutcome::kNoConnection) {
    form.stateBox->labelcolor(kRed);
    form.stateBox->label(tr("No connection"));
    form.redraw();
    return;
  }
  form.stateBox->label(tr("Connected"));
  form.stateBox->labelcolor(kBlack);
  form.redraw();
  ShowCngProbe(form);

  switch (outcome) {
    case ReadOutcome::kSettingsNotLoaded: ShowAlert(tr("Error loading main settings")); return;
    case ReadOutcome::kWrongDataLength: ShowAlert(tr("Wrong data length!")); return;
    case ReadOutcome::kWrongChecksum: ShowAlert(tr("Warning! Wrong CRC in main settings")); return;
    case ReadOutcome::kNoConnection:
    case ReadOutcome::kRead: break;
  }

  ArrangeNozzleRows(form, NozzleRowsShown(controller));
  if (controller.commonBlockReceived) {
    ShowCommonCounter(form);
  } else {
    form.commonCounterInput->value(tr("?????????"));
  }
  ShowNozzleRecords(form);
  if (controller.passwordFree) {
    form.passwordInput->deactivate();
  } else {
    form.passwordInput->activate();
  }
  form.redraw();
}

void ShowCommonCounter(xMainForm& form) {
  char text[kControllerTextSize];
  CommonCounterText(form.state.controller, text);
  form.commonCounterInput->value(text);
}

void ShowCoefficient(xMainForm& form, int i) {
  char text[kControllerTextSize];
  CoefficientText(form.state.controller, i, text);
  form.nozzleCoefficientInputs[i + 1]->value(text);
}

void ShowNozzleNumber(xMainForm& form, int i) {
  char text[kControllerTextSize];
  NozzleNumberText(form.state.controller, i, text);
  form.nozzleNumberFields[i + 1]->value(text);
}

namespace {
void SetReadValuesActive(xMainForm& form, bool active) {
  Fl_Widget* shown[2 * kNozzleRows + 1];
  int count = 0;
  for (int n = 1; n <= kNozzleRows; ++n) {
    shown[count++] = form.nozzleCoefficientInputs[n];
    shown[count++] = form.nozzleNumberFields[n];
  }
  shown[count++] = form.commonCounterInput;
  for (Fl_Widget* w : shown) {
    if (active) w->activate(); else w->deactivate();
  }
}
}  // namespace

void ShowReadValuesStale(xMainForm& form) { SetReadValuesActive(form, false); }
void ShowReadValuesCurrent(xMainForm& form) { SetReadValuesActive(form, true); }
