#include "app/core/controller_text.h"

#include <cstdio>

#include "app/catalog/catalog.h"
#include "app/core/coefficient_math.h"

void CommonCounterText(const ControllerState& c, char (&text)[kControllerTextSize]) {
  const uint8_t* block = c.commonBlock;
  if (c.variant == 0) {
    std::snprintf(text, sizeof text, tr("%d"), CommonCounter(c));
  } else {
    std::snprintf(text, sizeof text, tr("%d %02d.%02d.%02d"), CommonCounter(c), block[3], block[4],
                  block[5]);
  }
}

double CoefficientOf(const ControllerState& c, int i) {
  return c.variant == 2 ? ShortCoefficientValue(c.shortCalibration[i])
                        : CoefficientValue(c.calibration[i]);
}

void CoefficientText(const ControllerState& c, int i, char (&text)[kControllerTextSize]) {
  std::snprintf(text, sizeof text, tr("* %f"), CoefficientOf(c, i));
}

int NozzleNumberOf(const ControllerState& c, int i) {
  if (c.variant == 0) return -1;
  return c.variant == 2 ? ShortRecordNumber(c.shortCalibration[i])
                        : CalibrationCount(c.calibration[i]);
}

void NozzleNumberText(const ControllerState& c, int i, char (&text)[kControllerTextSize]) {
  if (c.variant == 0) {
    text[0] = '\0';
  } else {
    std::snprintf(text, sizeof text, tr("%d"), NozzleNumberOf(c, i));
  }
}
