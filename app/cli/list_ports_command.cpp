// --list-ports: the port list the window's port choice offers, built the same
// way (serial devices, USB channels, then TARVO6_PORTS), in the same order.
#include <cstdio>

#include "app/cli/command_line.h"
#include "app/cli/commands.h"
#include "app/cli/port_kind.h"
#include "port/discovery.h"

int ListPortsCommand() {
  UsbBind();
  DiscoverPorts();
  for (int i = 0; i < PortNameList.count && i < kPortNameListSize; ++i) {
    const char* name = PortNameList.names[i];
    // Names are at most 19 characters and hold no blank.
    std::printf("%-19s  %s\n", name, PortKindName(PortKindOf(name)));
  }
  return kExitDone;
}
