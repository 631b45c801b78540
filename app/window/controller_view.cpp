#include "app/window/controller_view.h"

#include <algorithm>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/controller_text.h"
#include "app/window/main_form.h"

namespace {

constexpr Fl_Color kRed = 88;
constexpr Fl_Color kBlack = 56;

// Rows 1..N visible, the rest hidden; the Common counter input and the
// full-tank check go under the last visible row.
void ArrangeNozzleRows(int rows) {
  for (int n = 1; n <= kNozzleRows; ++n) {
    Fl_Widget* row[3] = {nozzleCoefficientInputs[n], nozzleLoadButtons[n], nozzleNumberFields[n]};
    for (Fl_Widget* w : row) {
      if (n <= rows) w->show(); else w->hide();
    }
  }
  const int last = std::max(rows, 1);
  Fl_Input* first = nozzleCoefficientInputs[1];
  MainForm->commonCounterInput->resize(first->x(), nozzleCoefficientInputs[last]->y() + 42,
                                       first->w(), first->h());
  Fl_Check_Button* check = MainForm->fullTankCheck;
  check->resize(nozzleLoadButtons[1]->x(), nozzleLoadButtons[last]->y() + 34, check->w(),
                check->h());
  check->show();
}

void ShowCngProbe() {
  Fl_Multiline_Input* output = MainForm->cngDiagsOutput;
  switch (Controller.cngProbe) {
    case CngProbe::kNotProbed: break;   // variants 0 and 1 leave it as it was
    case CngProbe::kAbsent: output->hide(); break;
    case CngProbe::kPresent:
      output->show();
      output->value(Controller.cngText);
      break;
  }
}

void ShowNozzleRecords() {
  for (int i = 0; i < NozzleRecordsRead(Controller); ++i) {
    if (Controller.recordReceived[i]) {
      ShowCoefficient(i);
      ShowNozzleNumber(i);
    } else {
      nozzleCoefficientInputs[i + 1]->value("???");
      nozzleNumberFields[i + 1]->value("?");
    }
    nozzleEdited[i] = 0;
  }
}

}  // namespace

void ShowReadResult(ReadOutcome outcome) {
  xMainForm* form = MainForm;
  // Greyed unless this Read got through: nothing shown can be taken for the
  // connected controller's values.
  if (outcome == ReadOutcome::kRead) {
    ShowReadValuesCurrent();
  } else {
    ShowReadValuesStale();
  }
  if (outcome == ReadOutcome::kNoConnection) {
    form->stateBox->labelcolor(kRed);
    form->stateBox->label(tr("No connection"));
    form->redraw();
    return;
  }
  form->stateBox->label(tr("Connected"));
  form->stateBox->labelcolor(kBlack);
  form->redraw();
  ShowCngProbe();

  switch (outcome) {
    case ReadOutcome::kSettingsNotLoaded: ShowAlert(tr("Error loading main settings")); return;
    case ReadOutcome::kWrongDataLength: ShowAlert(tr("Wrong data length!")); return;
    case ReadOutcome::kWrongChecksum: ShowAlert(tr("Warning! Wrong CRC in main settings")); return;
    case ReadOutcome::kNoConnection:
    case ReadOutcome::kRead: break;
  }

  ArrangeNozzleRows(NozzleRowsShown(Controller));
  if (Controller.commonBlockReceived) {
    ShowCommonCounter();
  } else {
    form->commonCounterInput->value(tr("?????????"));
  }
  ShowNozzleRecords();
  if (Controller.passwordFree) {
    form->passwordInput->deactivate();
  } else {
    form->passwordInput->activate();
  }
  form->redraw();
}

void ShowCommonCounter() {
  char text[kControllerTextSize];
  CommonCounterText(Controller, text);
  MainForm->commonCounterInput->value(text);
}

void ShowCoefficient(int i) {
  char text[kControllerTextSize];
  CoefficientText(Controller, i, text);
  nozzleCoefficientInputs[i + 1]->value(text);
}

void ShowNozzleNumber(int i) {
  char text[kControllerTextSize];
  NozzleNumberText(Controller, i, text);
  nozzleNumberFields[i + 1]->value(text);
}

namespace {
void SetReadValuesActive(bool active) {
  Fl_Widget* shown[2 * kNozzleRows + 1];
  int count = 0;
  for (int n = 1; n <= kNozzleRows; ++n) {
    shown[count++] = nozzleCoefficientInputs[n];
    shown[count++] = nozzleNumberFields[n];
  }
  shown[count++] = MainForm->commonCounterInput;
  for (Fl_Widget* w : shown) {
    if (active) w->activate(); else w->deactivate();
  }
}
}  // namespace

void ShowReadValuesStale() { SetReadValuesActive(false); }
void ShowReadValuesCurrent() { SetReadValuesActive(true); }
