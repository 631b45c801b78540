// PtyPair for tests built for Windows and run under Wine: the pty lives on
// the Linux side, held by the pty peer service, and Wine maps its slave to a
// COM port. The pair claims a free port from the service, found at the
// address in TARVO_PTY_PEER ("127.0.0.1:<port>"), and plays the device
// through it; slavePath() is the COM name to open.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/pty_pair.h"
#include "tests/support/pty_peer_win32.h"

namespace {

std::string toHex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::vector<uint8_t> fromHex(const std::string& s) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < s.size(); i += 2)
    bytes.push_back(uint8_t(std::strtoul(s.substr(i, 2).c_str(), nullptr, 16)));
  return bytes;
}

// One request line, one answer line; "" when the service is gone.
std::string ask(int sock, const std::string& request) {
  if (sock < 0) return "";
  std::string out = request + "\n";
  if (send(SOCKET(sock), out.data(), int(out.size()), 0) != int(out.size())) return "";
  std::string answer;
  char c;
  while (recv(SOCKET(sock), &c, 1, 0) == 1) {
    if (c == '\n') return answer;
    answer += c;
  }
  return "";
}

int connectToService() {
  const char* where = std::getenv("TARVO_PTY_PEER");
  if (!where) return -1;
  std::string address = where;
  size_t colon = address.find(':');
  if (colon == std::string::npos) return -1;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return -1;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(std::atoi(address.c_str() + colon + 1)));
  inet_pton(AF_INET, address.substr(0, colon).c_str(), &addr.sin_addr);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    WSACleanup();
    return -1;
  }
  return int(s);
}

}  // namespace

PtyPair::PtyPair() {
  int sock = connectToService();
  if (sock < 0) return;
  std::string port = ask(sock, "CLAIM");
  if (port.empty() || port == "NONE") {
    closesocket(SOCKET(sock));
    WSACleanup();
    return;
  }
  master_ = sock;
  slavePath_ = port;
}

PtyPair::~PtyPair() {
  if (master_ < 0) return;
  closesocket(SOCKET(master_));
  WSACleanup();
}

void PtyPair::send(const std::vector<uint8_t>& bytes) { ask(master_, "SEND " + toHex(bytes)); }

std::vector<uint8_t> PtyPair::receive(size_t count, int timeoutMs) {
  return fromHex(ask(master_, "RECV " + std::to_string(count) + " " + std::to_string(timeoutMs)));
}

std::vector<uint8_t> PtyPair::drain(int quietMs) {
  return fromHex(ask(master_, "DRAIN " + std::to_string(quietMs)));
}

void PtyPair::watch(size_t count, int timeoutMs) {
  arrivals_.clear();
  ask(master_, "WATCH " + std::to_string(count) + " " + std::to_string(timeoutMs));
}

// "<hex> <us>,<us>,...": each byte and its arrival in microseconds.
std::vector<PtyPair::Arrival> PtyPair::watched() {
  const std::string answer = ask(master_, "WATCHED");
  const size_t blank = answer.find(' ');
  const std::vector<uint8_t> bytes = fromHex(answer.substr(0, blank));
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

std::string PeerLineSettings(PtyPair& pty) { return ask(pty.master(), "LINE"); }

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
