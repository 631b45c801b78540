// Tests of the port layer itself: the layer started on the tick, in a scratch
// working folder of the test's own (port.out lands there); every port the
// test left open is closed before the layer stops.
#pragma once
#include <cstdint>

#include <gtest/gtest.h>

#include "clock/tick.h"
#include "port/port.h"
#include "port/port_table.h"
#include "tests/support/scratch_dir.h"

class PortLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    tickStart();
    PortLayerStart();
  }
  void TearDown() override {
    for (uint16_t h = 1; h <= kPortSlotCount; ++h) PortClose(h);
    PortLayerStop();
    tickStop();
  }

  ScratchDir dir;
};
