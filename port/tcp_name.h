// The grammar of TCP port names. Every number is read whole and checked: a
// name that does not say exactly one endpoint is refused, never read as
// another one.
//
//   TCPC_<address>:<port>                 connect to address:port
//   TCPS_<port>                           listen on every interface, any peer
//   TCPS_<address>:<port>                 listen on that local address only
//   TCPS_<port>@<peer>                    ... and accept only that peer address
//   TCPS_<address>:<port>@<peer>
//
// An address is four dotted decimal numbers 0..255 without leading zeros (a
// leading zero would be octal to other readers); a port is 1..65535.
#pragma once
#include <cstdint>

struct TcpPortName {
  bool server;
  uint32_t address;      // network byte order: client target, or server bind (0 = any)
  uint16_t port;
  bool peerRestricted;   // server: only peerAddress may connect
  uint32_t peerAddress;  // network byte order
};

// true with *out filled when name (prefix included) follows the grammar.
bool ParseTcpPortName(const char* name, TcpPortName* out);
