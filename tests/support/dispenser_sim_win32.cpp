// DispenserSim for tests built for Windows and run under Wine. A Windows
// program cannot start the Linux dispenser-sim on a pty, so the pty peer
// service starts it: it runs the simulator with the test's arguments, points
// one of its COM ports (mapped by Wine) at the simulator's pty, and answers
// with that COM name. The connection to the service stands for the process:
// signals and the stop go over it, and a closed connection ends the
// simulator.
#include <windows.h>

#include "tests/support/dispenser_sim.h"
#include "tests/support/peer_service_win32.h"

DispenserSim::DispenserSim(const std::vector<std::string>& args, int startTimeoutMs) {
  pid_ = ConnectToPeerService();
  if (pid_ < 0) return;
  std::string request = "SIM " + std::to_string(startTimeoutMs);
  for (const std::string& a : args) request += " " + ToHex(a);
  const std::string answer = AskPeerService(pid_, request);
  if (answer.rfind("OK ", 0) == 0) announce_ = answer.substr(3);
}

DispenserSim::~DispenserSim() { stop(sim_signal::kTerminate, 5000); }

void DispenserSim::signal(int number) {
  AskPeerService(pid_, "SIGNAL " + std::to_string(number));
}

int DispenserSim::stop(int signal, int timeoutMs) {
  if (pid_ < 0) return -1;
  const std::string answer =
      AskPeerService(pid_, "STOP " + std::to_string(signal) + " " + std::to_string(timeoutMs));
  DisconnectFromPeerService(pid_);
  pid_ = -1;
  return answer.empty() ? -1 : std::atoi(answer.c_str());
}

// Wine's own call names the Linux file behind a Windows path.
std::string DispenserSim::hostPath(const std::string& path) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(found));
  if (!unixName) return path;
  const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? size_t(length) : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
  char* name = unixName(wide.c_str());
  if (!name) return path;
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}
