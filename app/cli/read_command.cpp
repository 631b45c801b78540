// --read: the Read button's procedure on a port given by name, without the
// window. The link and the port layer are started as the window starts them,
// and everything is closed again before the exit.
#include <cstdio>

#include "app/catalog/catalog.h"
#include "app/cli/command_line.h"
#include "app/cli/commands.h"
#include "app/cli/interrupt_signals.h"
#include "app/cli/read_report.h"
#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/core/port_open_failure.h"
#include "app/core/read_procedure.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"

namespace {

// The window's message for a Read that stopped, and the exit status it means.
int ReportOutcome(ReadOutcome outcome) {
  switch (outcome) {
    case ReadOutcome::kRead: return kExitDone;
    case ReadOutcome::kNoConnection:
      std::fprintf(stderr, "%s\n", tr("No connection"));
      return kExitNoConnection;
    case ReadOutcome::kSettingsNotLoaded:
      std::fprintf(stderr, "%s\n", tr("Error loading main settings"));
      return kExitNoConnection;
    case ReadOutcome::kWrongDataLength:
      std::fprintf(stderr, "%s\n", tr("Wrong data length!"));
      return kExitSettingsDamaged;
    case ReadOutcome::kWrongChecksum:
      std::fprintf(stderr, "%s\n", tr("Warning! Wrong CRC in main settings"));
      return kExitSettingsDamaged;
  }
  return kExitNoConnection;
}

}  // namespace

int ReadCommand(const char* port, int32_t address, bool json) {
  tickStart();
  PortLayerStart();
  WatchInterruptSignals();
  uint16_t handle = 0;
  if (PortOpen(&handle, port) != kPortOpened) {
    std::fprintf(stderr, tr("tarvo_6: cannot open port %s\n"), port);
    std::fprintf(stderr, "%s\n", PortOpenFailureText(PortLastOpenFailure()));
    PortLayerStop();
    tickStop();
    return kExitPortNotOpened;
  }
  AppState state;
  state.link = CreateApplicationLink(state.station);
  state.openPort = handle;
  state.link->port = handle;

  // Everything is closed again before the exit, however the Read ended.
  auto closeAll = [&] {
    PortClose(handle);
    DestroyApplicationLink(state.link);
    PortLayerStop();
    tickStop();
  };

  const ReadOutcome outcome = ReadControllerState(*state.link, address, state.controller);
  if (InterruptSignalled()) {
    // What the Read got before it was cut short is not a report.
    closeAll();
    std::fprintf(stderr, tr("tarvo_6: ended by a signal; the port %s is closed\n"), port);
    return kExitInterrupted;
  }
  if (json) {
    PrintReadJson(stdout, port, state.controller);
  } else {
    PrintReadText(stdout, port, state.controller);
  }
  std::fflush(stdout);
  const int status = ReportOutcome(outcome);
  closeAll();
  return status;
}
