// The operator procedures against the simulated controller: the real window
// on a private X server, the real link and port layer, dispenser-sim on a
// pseudo-terminal. A test starts a controller, calls the procedures as the
// buttons would, and then looks at what the controller received (its trace)
// and holds (its memory image, saved when it stops).
#pragma once
#include <string>
#include <vector>

#include "tests/app/controller_fixture.h"
#include "app/core/app_state.h"
#include "app/window/main_form.h"
#include "tests/app/pump_until.h"

// The one window of the test program, built as the start-up builds it, and
// what its procedures work with.
xMainForm& Form();
AppState& State();

class ProcedureTest : public ControllerTest {
 public:
  static std::vector<std::string> alerts;   // texts of the alert boxes, in order

 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a controller made from args (or from image when it is given) and
  // opens its port with Open Port.
  void Connect(const std::vector<std::string>& args);
  void Connect(const MemoryImage& image, const std::vector<std::string>& args = {});
  // Offers the controller's port as the only one and presses Open Port.
  void OpenThePort();
  // Types the address and presses Read.
  void Read(const char* address = "1");

  // Types text into nozzle n's coefficient input, as the operator would.
  static void Type(int n, const char* text);
};
