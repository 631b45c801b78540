// A TCPS_ port whose controller leaves and another connects in its place:
// what Read took from the first is never written to the second.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/core/read_procedure.h"
#include "app/core/write_procedure.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/app/core_procedures_fixture.h"
#include "tests/app/scripted_operator.h"
#include "tests/port/loopback_peer.h"
#include "tests/support/wait_until.h"

namespace {

class PeerChangeTest : public CoreProcedureTest {
 protected:
  void SetUp() override {
    CoreProcedureTest::SetUp();
    tcpPort_ = std::to_string(loopback::freePort());
    ASSERT_EQ(PortOpen(&handle_, ("TCPS_127.0.0.1:" + tcpPort_).c_str()), kPortOpened);
    Link().port = handle_;
  }
  void TearDown() override {
    PortClose(handle_);
    Link().port = 0;
    CoreProcedureTest::TearDown();
  }
  // A controller connecting to the port; returns once the port has taken it.
  void ControllerConnects() {
    const uint32_t before = PortConnection(handle_);
    StartController(FreshImage(1, 2), {"--tcp-client", tcpPort_});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitUntil([&] { return PortConnection(handle_) != before; }, 5000));
  }
  uint16_t handle_ = 0;
  std::string tcpPort_;
  ScriptedOperator op;
};

TEST_F(PeerChangeTest, WriteSendsNothingToTheControllerThatTookTheReadOnesPlace) {
  ControllerConnects();
  ASSERT_EQ(ReadControllerState(Link(), 1, state), ReadOutcome::kRead);
  EXPECT_TRUE(ReadIsCurrentFor(state, Link()));
  StopAndLoadImage();
  ControllerConnects();
  ForgetReceived();
  op.entries[0] = "10.1";

  EXPECT_FALSE(ReadIsCurrentFor(state, Link()));
  WriteCalibration(Link(), state, lastVolume, op);
  EXPECT_EQ(op.alerts, std::vector<std::string>{ReadFirstMessage()});
  EXPECT_TRUE(ReceivedRequests().empty());

  // Read of the new controller makes Write possible again.
  ASSERT_EQ(ReadControllerState(Link(), 1, state), ReadOutcome::kRead);
  EXPECT_TRUE(ReadIsCurrentFor(state, Link()));
}

// The first controller goes while Read waits for a record it never answers,
// and another connects: the rest of the Read comes from the second, so the
// Read as a whole is no one's.
TEST_F(PeerChangeTest, AReadThatReachesAnotherControllerHalfwayIsNotTrusted) {
  StartController(FreshImage(1, 2), {"--tcp-client", tcpPort_, "--fault-once",
                                     "no-reply:group 0 nozzle 1"});
  ASSERT_TRUE(waitUntil([&] { return PortConnection(handle_) != 0; }, 5000));
  std::thread swap([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopAndLoadImage();
    StartController(FreshImage(1, 2), {"--tcp-client", tcpPort_});
  });
  const ReadOutcome outcome = ReadControllerState(Link(), 1, state);
  swap.join();
  EXPECT_EQ(outcome, ReadOutcome::kNoConnection);
  EXPECT_FALSE(ReadIsCurrentFor(state, Link()));
}

}  // namespace
