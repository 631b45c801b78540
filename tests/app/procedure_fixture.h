// The operator procedures against the simulated controller: the real window
// on a private X server, the real link and port layer, dispenser-sim on a
// pseudo-terminal. A test starts a controller, calls the procedures as the
// buttons would, and then looks at what the controller received (its trace)
// and holds (its memory image, saved when it stops).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/dispenser_sim.h"
#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/memory_image.h"

// One request the controller received: its wire bytes and its description.
struct Received {
  std::vector<uint8_t> wire;
  std::string what;
};

class ProcedureTest : public ::testing::Test {
 public:
  static std::vector<std::string> alerts;   // texts of the alert boxes, in order

 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a controller made from args (or from image when it is given) and
  // opens its port with Open Port.
  void Connect(const std::vector<std::string>& args);
  void Connect(const MemoryImage& image, const std::vector<std::string>& args = {});
  // Types the address and presses Read.
  void Read(const char* address = "1");
  // Stops the controller; its memory as it saved it on exit.
  MemoryImage StopAndLoadImage(int* commits = nullptr);
  // What the controller received so far, in order.
  std::vector<Received> ReceivedRequests();
  // The descriptions only, of the memory reads and writes.
  std::vector<std::string> MemoryRequests();
  // Forgets what was received so far (the trace restarts).
  void ForgetReceived();

  // Types text into nozzle n's coefficient input, as the operator would.
  static void Type(int n, const char* text);
  // Runs the FLTK event loop until condition() holds or the time is up.
  template <typename Condition>
  static bool PumpUntil(Condition condition, int timeoutMs = 5000);
  static bool PumpStep();

  std::unique_ptr<DispenserSim> sim;
  std::string imagePath;
  std::string tracePath;
  size_t traceOffset = 0;

 private:
  int run_ = 0;
};

// A fresh controller image as dispenser-sim makes it.
MemoryImage FreshImage(int variant, int nozzles, int groups = 1,
                       std::vector<int> groupAddresses = {1, 2, 3, 4});
std::vector<uint8_t> Bytes(const MemoryImage& image, int bank, uint32_t address, int size);
// Rewrites the main settings' trailing checksum after a change.
void FixSettingsChecksum(MemoryImage& image);

template <typename Condition>
bool ProcedureTest::PumpUntil(Condition condition, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    if (condition()) return true;
    PumpStep();
  }
  return condition();
}
