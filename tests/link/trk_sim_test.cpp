// The link against dispenser-sim over a pty (under Wine, a COM port Wine maps
// onto the simulator's pty): the exchanges the operator procedures run, end
// to end.
#include <string>

#include "tests/link/sim_link_fixture.h"

namespace {

class TrkSimTest : public SimLinkTest {
 protected:
  // A poll that times out is asked again, as the fill procedure would on its
  // next round: on a busy machine the simulator may miss 220 ms. Anything
  // other than silence is a failure.
  int readState(int nozzle) {
    NozzleRecord out{};
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (trk.readNozzleStatus(nozzle, &out) == kTrkDone) return out.state;
      EXPECT_EQ(trk.linkState, kLinkNoAnswer);
    }
    ADD_FAILURE() << "no status reply in five polls";
    return -1;
  }
};

TEST_F(TrkSimTest, FillRunsThroughCommandsAndStatusPolls) {
  DispenserSim sim({"--pty", "--rate", "20000"});
  connect(sim);

  uint8_t status[1] = {0xEE};
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, status); }), kTrkDone);
  EXPECT_NE(status[0], 0xEE);

  EXPECT_EQ(readState(0), 0x10);
  EXPECT_EQ(pollStep([&] { return trk.sendFunction13(0); }), kTrkDone);
  EXPECT_EQ(readState(0), 0x10);
  EXPECT_TRUE(NozzleTable[0].flags & 0x80);

  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkDone);
  // At 20 l/s the 10 l preset is done within a second.
  EXPECT_TRUE(waitUntil([&] { return readState(0) == 0x40; }, 5000));
  EXPECT_TRUE(waitUntil([&] { return readState(0) == 0x40 && NozzleTable[0].amount == 10000; }));
}

TEST_F(TrkSimTest, RefusedWriteIsExplainedByTheErrorRecord) {
  DispenserSim sim({"--pty", "--key", "off"});
  connect(sim);

  const uint8_t data[2] = {0x01, 0x02};
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x5302, 0, data, 2); }), kTrkRefused);
  int result = kTrkNoReply;
  for (int attempt = 0; attempt < 5 && result == kTrkNoReply; ++attempt) {
    result = pollStep([&] { return trk.readErrorRecord(); });  // 300 ms: see readState
  }
  EXPECT_EQ(result, kTrkDone);
  EXPECT_EQ(trk.lastError, 0x58);
}

// An address nobody answers times out, and the link's next exchange with the
// controller goes through.
TEST_F(TrkSimTest, AnAddressNobodyAnswersTimesOutAndTheNextExchangeGoesThrough) {
  DispenserSim sim({"--pty"});
  connect(sim, 0x77);
  uint8_t length = 0;
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, &length); }), kTrkNoReply);
  trk.address = 1;
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, &length); }), kTrkDone);
  EXPECT_GT(length, 0);
}

}  // namespace
