// A simulated controller for a test: dispenser-sim started from a memory image
// or from arguments, with a trace of what it received and its memory as it
// saved it on exit. Needs no window, so procedure tests that drive the core
// library and tests of the program from outside build on it as well.
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

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a controller made from args (or from image when it is given),
  // keeping its memory image and trace in the test's folder.
  void StartController(const std::vector<std::string>& args);
  void StartController(const MemoryImage& image, const std::vector<std::string>& args = {});
  // Stops the controller; its memory as it saved it on exit.
  MemoryImage StopAndLoadImage(int* commits = nullptr);
  // What the controller received so far, in order.
  std::vector<Received> ReceivedRequests();
  // The descriptions only, of the memory reads and writes.
  std::vector<std::string> MemoryRequests();
  // Forgets what was received so far (the trace restarts).
  void ForgetReceived();

  std::unique_ptr<DispenserSim> sim;
  std::string folder;   // removed after the test
  std::string imagePath;
  std::string tracePath;
  size_t traceOffset = 0;
};

// A fresh controller image as dispenser-sim makes it.
MemoryImage FreshImage(int variant, int nozzles, int groups = 1,
                       std::vector<int> groupAddresses = {1, 2, 3, 4});
std::vector<uint8_t> Bytes(const MemoryImage& image, int bank, uint32_t address, int size);
// Rewrites the main settings' trailing checksum after a change.
void FixSettingsChecksum(MemoryImage& image);
