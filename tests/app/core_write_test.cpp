// Write from the core library against the simulated controller, with no
// window: the operator's side is a script that answers the entries and logs
// what Write tells it, in order.
#include <cstring>
#include <string>
#include <vector>

#include "app/core/read_procedure.h"
#include "app/core/write_procedure.h"
#include "tests/app/core_procedures_fixture.h"
#include "tests/app/scripted_operator.h"

namespace {

class CoreWriteTest : public CoreProcedureTest {
 protected:
  void ConnectAndRead(const MemoryImage& image, const std::vector<std::string>& args = {}) {
    Connect(image, args);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(ReadControllerState(Link(), 1, state), ReadOutcome::kRead);
    ForgetReceived();
  }
  ScriptedOperator op;
};

TEST_F(CoreWriteTest, EachEntryIsAskedForWhenItsNozzleIsReached) {
  const MemoryImage before = FreshImage(1, 3);
  ConnectAndRead(before);
  op.entries[0] = "4.99";   // out of range: skipped without a message
  op.entries[1] = "abc";    // not a number
  op.entries[2] = "10.1";
  WriteCalibration(Link(), state, lastVolume, op);
  // Write looks at every entry once, before the first frame: the message of
  // nozzle 2 comes before anything is sent. The record is reported only once
  // the controller took it, then the counter.
  const std::vector<std::string> expected = {"entry 1", "entry 2", "alert Wrong value entered",
                                             "entry 3", "written 3", "counter"};
  EXPECT_EQ(op.log, expected);
  const MemoryImage after = StopAndLoadImage();
  // The state holds exactly what the controller now has.
  EXPECT_EQ(std::vector<uint8_t>(state.calibration[2], state.calibration[2] + 19),
            Bytes(after, 0, 0x1200, 19));
  EXPECT_NE(Bytes(after, 0, 0x1200, 19), Bytes(before, 0, 0x1200, 19));
  EXPECT_EQ(Bytes(after, 0, 0x1000, 19), Bytes(before, 0, 0x1000, 19));
  EXPECT_EQ(std::vector<uint8_t>(state.commonBlock + 1, state.commonBlock + 3),
            Bytes(after, 0, 0x4001, 2));
}

TEST_F(CoreWriteTest, ARefusedRecordIsNeitherReportedNorKept) {
  ConnectAndRead(FreshImage(0, 2), {"--key", "off"});
  const ControllerState read = state;
  op.entries[0] = "10.1";
  op.entries[1] = "10.2";
  WriteCalibration(Link(), state, lastVolume, op);
  // The controller holds what it held: the reason alone says what to do.
  const std::vector<std::string> expected = {"entry 1", "entry 2",
                                             "alert Please turn on the settings key"};
  EXPECT_EQ(op.log, expected);
  EXPECT_EQ(std::memcmp(state.calibration, read.calibration, sizeof state.calibration), 0);
  EXPECT_EQ(std::memcmp(state.commonBlock, read.commonBlock, sizeof state.commonBlock), 0);
}

// A Read that failed after a good one: what the buffers hold may be another
// controller's, and nothing at all is sent.
TEST_F(CoreWriteTest, NothingIsSentAfterAFailedRead) {
  ConnectAndRead(FreshImage(1, 2), {"--password", "1234"});
  EXPECT_EQ(ReadControllerState(Link(), 9, state), ReadOutcome::kNoConnection);
  ForgetReceived();
  op.entries[0] = "10.1";
  WriteCalibration(Link(), state, lastVolume, op);
  EXPECT_EQ(op.log, std::vector<std::string>{std::string("alert ") + ReadFirstMessage()});
  EXPECT_TRUE(ReceivedRequests().empty());
}

TEST_F(CoreWriteTest, VariantTwoAsksForANewReadAfterTheCommit) {
  ConnectAndRead(FreshImage(2, 1));
  op.entries[0] = "10.05";
  WriteCalibration(Link(), state, lastVolume, op);
  const std::vector<std::string> expected = {"entry 1", "counter", "read again"};
  EXPECT_EQ(op.log, expected);
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], "write 1 bytes at 0:88FFFF (commit)");
}

}  // namespace
