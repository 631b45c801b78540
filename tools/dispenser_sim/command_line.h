// The simulator's command line: every option, its checks and the help text.
#pragma once
#include <string>

#include "tools/dispenser_sim/controller.h"
#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/session.h"

enum class TransportKind { Pty, TcpServer, TcpClient };

struct SimOptions {
  TransportKind transport = TransportKind::Pty;
  int tcpPort = 0;
  layout::ControllerLayout controllerLayout;
  ControllerSettings controller;
  SessionSettings session;
  std::string imagePath;
  bool saveEachWrite = false;
  bool trace = false;
  std::string traceFile;
  bool help = false;
};

// False with *error set when an argument is wrong (the caller exits with 2).
bool parseCommandLine(int argc, const char* const* argv, SimOptions* options, std::string* error);
const char* helpText();
