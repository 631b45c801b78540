#include "app/controller_view.h"

#include <cstdio>

#include "app/catalog.h"
#include "app/coefficient_math.h"
#include "app/controller_state.h"
#include "app/main_form.h"

void ShowCommonCounter() {
  char text[64];
  const uint8_t* block = Controller.commonBlock;
  if (Controller.variant == 0) {
    std::snprintf(text, sizeof text, tr("%d"), CommonCounter(Controller));
  } else {
    std::snprintf(text, sizeof text, tr("%d %02d.%02d.%02d"), CommonCounter(Controller), block[3],
                  block[4], block[5]);
  }
  MainForm->commonCounterInput->value(text);
}

void ShowCoefficient(int i) {
  char text[64];
  const double value = Controller.variant == 2
                           ? ShortCoefficientValue(Controller.shortCalibration[i])
                           : CoefficientValue(Controller.calibration[i]);
  std::snprintf(text, sizeof text, tr("* %f"), value);
  nozzleCoefficientInputs[i + 1]->value(text);
}

void ShowNozzleNumber(int i) {
  char text[16];
  const bool shortRecord = Controller.variant == 2;
  if (Controller.variant == 0) {
    text[0] = '\0';
  } else {
    const int number = shortRecord ? ShortRecordNumber(Controller.shortCalibration[i])
                                   : CalibrationCount(Controller.calibration[i]);
    std::snprintf(text, sizeof text, tr("%d"), number);
  }
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
