#include "app/window/port_open_error.h"

#include <string>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"

// "error" itself is shown as it always was, untranslated.
void ShowPortOpenError(const char* reason) {
  const std::string text = std::string("error\n") + reason;
  ShowAlert(text.c_str());
}
