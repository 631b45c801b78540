// The port names the user offers in TARVO6_PORTS, on every platform: a TCP
// endpoint (TCPC_..., TCPS_...), the null port, or a device the platform's own
// list does not announce. Without it a Windows user would need a virtual-port
// driver to reach a controller over TCP.
#include <cstdlib>
#include <cstring>

#include "port/port_name_list.h"
#include "port/serial_names.h"

void OfferedNamesAppend() {
  const char* offered = std::getenv("TARVO6_PORTS");
  if (offered == nullptr) return;
  const char* blanks = " \t";
  for (const char* word = offered + std::strspn(offered, blanks); *word != '\0';) {
    size_t length = std::strcspn(word, blanks);
    PortNameAppend(word, length);
    word += length;
    word += std::strspn(word, blanks);
  }
}
