// Start-up in its fixed order: the catalog first, so every label built by the
// window is already translated; the tick service before the port layer, whose
// transports time their exchanges against it.
#include "app/startup.h"

#include "app/window/app_icon.h"
#include "app/catalog/catalog.h"
#include "app/window/main_form.h"
#include "clock/tick.h"
#include "port/port.h"

xMainForm* OpenMainWindow(int argc, char** argv) {
  CatalogLoad("tarvo_6.mo", "ru");
  const char* title = tr("tarvo_6");
  xMainForm* window = new xMainForm(302, 339, title);
  MainForm = window;
  window->resize(302, 339, 519, 295);
  // The widgets stand where the 519 x 295 design puts them: later resizes
  // scale from this size, not from the 302 x 339 the window was built at,
  // which would push the nozzle rows out of the window.
  window->init_sizes();
  window->resizable(window);
  SetDefaultWindowIcons();
  window->show(argc, argv);
  tickStart();
  PortLayerStart();
  window->readButton->deactivate();
  window->writeButton->deactivate();
  return window;
}

void CloseDown() {
  // The port is closed rather than left to the end of the process: a serial
  // device's exclusive mode lives on the tty, not on the descriptor, and would
  // refuse the next open by anyone but root.
  if (OpenPortHandle != 0) {
    PortClose(OpenPortHandle);
    OpenPortHandle = 0;
  }
  PortLayerStop();
  tickStop();
}
