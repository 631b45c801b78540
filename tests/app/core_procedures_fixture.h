// The procedures of app/core against the simulated controller, with no window
// and no display: the program's one link over the controller's port.
#pragma once
#include <string>
#include <vector>

#include "app/core/controller_state.h"
#include "tests/app/controller_fixture.h"

class Trk;

class CoreProcedureTest : public ControllerTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a controller (from image, or from args) and opens its port for the
  // link.
  void Connect(const MemoryImage& image, const std::vector<std::string>& args = {});
  void Connect(const std::vector<std::string>& args);

  // The link, set up as the program sets it up.
  static Trk& Link();

  ControllerState state{};
  // No test fill ran: every nozzle's last volume is 0.
  int32_t lastVolume[kControllerNozzles] = {};

 private:
  void OpenPort();
  uint16_t handle_ = 0;
};
