// The built tarvo_6 program driven from outside, as the operator drives it:
// started in a scratch working folder on a private X server, with no serial
// device or USB library of the machine in sight, clicked and typed into
// through xdotool, and a simulated controller offered as its only port.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/dispenser_sim.h"
#include "tests/support/scratch_dir.h"

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the tool in the working folder and waits for its window.
  void StartTool();
  // Escape in the window closes it; the tool's exit status once it ended.
  int CloseTool();
  // A left click at x, y of the tool's window.
  void Click(int x, int y);

  // Starts dispenser-sim with args and offers its port to the tool
  // (TARVO6_PORTS); port_ names it.
  void StartSimulator(const std::vector<std::string>& args);
  // Stops it (SIGTERM: it saves its memory image).
  void StopSimulator();

  ScratchDir scratch_;
  pid_t tool_ = -1;
  std::unique_ptr<DispenserSim> sim_;
  std::string port_;
  std::string window_;
};
