#include "tests/support/peer_service_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

int ConnectToPeerService() {
  const char* where = std::getenv("TARVO_PTY_PEER");
  if (!where) return -1;
  const std::string address = where;
  const size_t colon = address.find(':');
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

void DisconnectFromPeerService(int connection) {
  if (connection < 0) return;
  closesocket(SOCKET(connection));
  WSACleanup();
}

std::string AskPeerService(int connection, const std::string& request) {
  if (connection < 0) return "";
  const std::string out = request + "\n";
  if (send(SOCKET(connection), out.data(), int(out.size()), 0) != int(out.size())) return "";
  std::string answer;
  char c;
  while (recv(SOCKET(connection), &c, 1, 0) == 1) {
    if (c == '\n') return answer;
    answer += c;
  }
  return "";
}

