#include "app/alert.h"

#include <FL/fl_ask.H>

namespace {
AlertSink currentSink = nullptr;
}

void ShowAlert(const char* text) {
  if (currentSink) {
    currentSink(text);
    return;
  }
  fl_alert("%s", text);
}

void SetAlertSink(AlertSink sink) { currentSink = sink; }
