#include <cstdio>

#include "app/alert.h"
#include "app/catalog.h"
#include "app/procedures.h"

namespace {
constexpr int kBuildYear = 2023;
constexpr const char* kBuildDate = "Mar 16 2023";
}  // namespace

void AboutCallback(Fl_Widget*, void*) {
  char text[256];
  std::snprintf(text, sizeof text, tr("tarvo_6 dispenser calibration tool, (c) %d, build %s"),
                kBuildYear, kBuildDate);
  ShowAlert(text);
}
