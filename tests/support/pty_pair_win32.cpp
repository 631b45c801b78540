// PtyPair for tests built for Windows and run under Wine: the pty lives on
// the Linux side, held by the pty peer service, and Wine maps its slave to a
// COM port. The pair claims a free port from the service, found at the
// address in TARVO_PTY_PEER ("127.0.0.1:<port>"), and plays the device
// through it; slavePath() is the COM name to open.
#include <cstdlib>
#include <string>

#include "tests/support/peer_service_win32.h"
#include "tests/support/pty_pair.h"

PtyPair::PtyPair() {
  int sock = ConnectToPeerService();
  if (sock < 0) return;
  std::string port = AskPeerService(sock, "CLAIM");
  if (port.empty() || port == "NONE") {
    DisconnectFromPeerService(sock);
    return;
  }
  master_ = sock;
  slavePath_ = port;
}

PtyPair::~PtyPair() {
  DisconnectFromPeerService(master_);
}

bool PtyPair::canHangUp() { return false; }

void PtyPair::hangUp() {}

void PtyPair::send(const std::vector<uint8_t>& bytes) { AskPeerService(master_, "SEND " + ToHex(bytes)); }

std::vector<uint8_t> PtyPair::receive(size_t count, int timeoutMs) {
  return FromHex(AskPeerService(master_, "RECV " + std::to_string(count) + " " + std::to_string(timeoutMs)));
}

std::vector<uint8_t> PtyPair::drain(int quietMs) {
  return FromHex(AskPeerService(master_, "DRAIN " + std::to_string(quietMs)));
}

void PtyPair::watch(size_t count, int timeoutMs) {
  arrivals_.clear();
  AskPeerService(master_, "WATCH " + std::to_string(count) + " " + std::to_string(timeoutMs));
}

// "<hex> <us>,<us>,...": each byte and its arrival in microseconds.
std::vector<PtyPair::Arrival> PtyPair::watched() {
  const std::string answer = AskPeerService(master_, "WATCHED");
  const size_t blank = answer.find(' ');
  const std::vector<uint8_t> bytes = FromHex(answer.substr(0, blank));
  const char* times = blank == std::string::npos ? "" : answer.c_str() + blank + 1;
  std::vector<Arrival> out;
  for (uint8_t byte : bytes) {
    char* end = nullptr;
    const long us = std::strtol(times, &end, 10);
    if (end == times) break;
    out.push_back(Arrival{byte, us / 1000.0});
    times = *end == ',' ? end + 1 : end;
  }
  return out;
}
