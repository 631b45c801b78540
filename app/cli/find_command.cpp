// --find: which port reaches a controller. Each port in turn is opened, asked
// at address F0 (which group 0 of every controller answers) for its status
// byte and main settings, and closed again before the next; nothing is ever
// written to a controller.
#include <cstdio>
#include <string>
#include <vector>

#include "app/catalog/catalog.h"
#include "app/cli/command_line.h"
#include "app/cli/commands.h"
#include "app/cli/interrupt_signals.h"
#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/core/read_procedure.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "port/port.h"

namespace {

constexpr int32_t kEveryGroupZero = 0xF0;

std::vector<std::string> ListedPorts() {
  UsbBind();
  DiscoverPorts();
  std::vector<std::string> names;
  for (int i = 0; i < PortNameList.count && i < kPortNameListSize; ++i) {
    names.emplace_back(PortNameList.names[i]);
  }
  return names;
}

// One line a script can split: the port, then what the main settings say.
void PrintFound(const char* port, const ControllerState& state) {
  uint8_t addresses[4];
  const int groups = MainSettingsGroupAddresses(state, addresses);
  std::printf("%-19s  variant %d, nozzles %d, group addresses", port, state.variant,
              state.reportedNozzleCount);
  for (int k = 0; k < groups; ++k) std::printf(" %02X", addresses[k]);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int FindCommand(const std::vector<std::string>& named) {
  tickStart();
  PortLayerStart();
  WatchInterruptSignals();
  const std::vector<std::string> ports = named.empty() ? ListedPorts() : named;
  AppState state;
  state.link = CreateApplicationLink(state.station);
  Trk* link = state.link;
  int found = 0;
  for (const std::string& port : ports) {
    if (InterruptSignalled()) break;
    std::fprintf(stderr, tr("tarvo_6: trying %s\n"), port.c_str());
    uint16_t handle = 0;
    if (PortOpen(&handle, port.c_str()) != kPortOpened) {
      std::fprintf(stderr, tr("tarvo_6: cannot open port %s\n"), port.c_str());
      continue;
    }
    link->port = handle;
    state.controller = ControllerState{};
    const ReadOutcome outcome = IdentifyController(*link, kEveryGroupZero, state.controller);
    PortClose(handle);
    link->port = 0;
    if (InterruptSignalled()) break;
    if (outcome == ReadOutcome::kRead) {
      PrintFound(port.c_str(), state.controller);
      ++found;
    } else {
      std::fprintf(stderr, tr("tarvo_6: no controller answered on %s\n"), port.c_str());
    }
  }
  DestroyApplicationLink(link);
  PortLayerStop();
  tickStop();
  if (InterruptSignalled()) {
    std::fprintf(stderr, "%s\n", tr("tarvo_6: ended by a signal"));
    return kExitInterrupted;
  }
  return found > 0 ? kExitDone : kExitNoConnection;
}
