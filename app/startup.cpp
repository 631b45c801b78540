// Start-up in its fixed order: the catalog first, so every label built by the
// window is already translated; the ports, the remembered port and the link
// before the window that offers and uses them; the tick service before the
// port layer, whose transports time their exchanges against it.
#include "app/startup.h"

#include <cstring>

#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/window/alert.h"
#include "app/window/app_icon.h"
#include "app/window/main_form.h"
#include "clock/tick.h"
#include "port/discovery.h"
#include "port/port.h"
#include "store/ini_reader.h"

namespace {

// The remembered port lives in tarvo_6.ini under the Russian words for
// "general" and "port" as the first release wrote them: Windows-1251 bytes
// read as Latin-1 and stored as UTF-8. They are matched byte for byte.
const char kIniFile[] = "tarvo_6.ini";
const char kPortSection[] = "\xC3\x8E\xC3\xA1\xC3\xB9\xC3\xA8\xC3\xA5";
const char kPortKey[] = "\xC3\x8F\xC3\xAE\xC3\xB0\xC3\xB2";
// The first release kept the name in 100 bytes with its NUL.
constexpr size_t kRememberedPortMax = 99;

}  // namespace

// Listed names are at most 47 characters, so a cut name never matches one.
std::string ReadRememberedPort() {
  char value[501];
  std::string remembered;
  TIniReader reader;   // closes the file as it goes
  if (reader.Open(kIniFile) == 1 && reader.GetString(kPortSection, kPortKey, value) == 1) {
    remembered.assign(value, strnlen(value, kRememberedPortMax));
  }
  return remembered;
}

xMainForm* OpenMainWindow(AppState& state, int argc, char** argv) {
  CatalogLoad("tarvo_6.mo", "ru");
  TranslateAlertButton();
  UsbBind();
  DiscoverPorts();
  const std::string rememberedPort = ReadRememberedPort();
  state.link = CreateApplicationLink(state.station);
  const char* title = tr("tarvo_6");
  xMainForm* window = new xMainForm(302, 339, title, state, rememberedPort.c_str());
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

void CloseDown(AppState& state) {
  // The port is closed rather than left to the end of the process: a serial
  // device's exclusive mode lives on the tty, not on the descriptor, and would
  // refuse the next open by anyone but root.
  if (state.openPort != 0) {
    PortClose(state.openPort);
    state.openPort = 0;
  }
  PortLayerStop();
  tickStop();
}
