// A link set up as the program sets it up, over the port of a dispenser-sim
// the test starts: the fixture of the link's tests against the simulator.
#pragma once
#include <cstring>

#include <gtest/gtest.h>

#include "app/core/application_link.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/link/poll_step.h"
#include "tests/support/dispenser_sim.h"
#include "tests/support/scratch_dir.h"

class SimLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    std::memset(NozzleTable, 0, sizeof NozzleTable);
    tickStart();
    PortLayerStart();
    ConfigureApplicationLink(trk);
    linkTable[0] = &trk;
  }
  void TearDown() override {
    if (port) PortClose(port);
    linkTable[0] = nullptr;
    PortLayerStop();
    tickStop();
  }
  // Opens the simulator's port for the link, which selects address.
  void connect(const DispenserSim& sim, int address = 1) {
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(PortOpen(&port, sim.announce().c_str()), kPortOpened);
    trk.port = port;
    trk.address = address;
  }

  ScratchDir dir;
  uint16_t port = 0;
  Trk trk{0, 1, 0, 0, 0};
};
