#include <cstdio>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/build_info.h"
#include "app/window/procedures.h"

void AboutCallback(Fl_Widget*, void*) {
  char text[256];
  std::snprintf(text, sizeof text, tr("tarvo_6 dispenser calibration tool, (c) %d, build %s"),
                kBuildYear, kBuildDate);
  ShowAlert(text);
}
