// Read from the core library against the simulated controller, with no
// window and no display: what goes over the wire and the state it leaves.
#include <cstring>
#include <string>

#include "app/core/controller_state.h"
#include "app/core/read_procedure.h"
#include "tests/app/core_procedures_fixture.h"

namespace {

class CoreReadTest : public CoreProcedureTest {
 protected:
  ReadOutcome Read(int32_t address) { return ReadControllerState(Link(), address, state); }
};

TEST_F(CoreReadTest, VariantOneReadsEverythingInOrder) {
  const MemoryImage image = FreshImage(1, 4);
  Connect(image);
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  EXPECT_EQ(state.outcome, ReadOutcome::kRead);
  EXPECT_EQ(state.variant, 1);
  EXPECT_EQ(state.controllerStatus & 0x80, 0x80);
  EXPECT_EQ(state.cngProbe, CngProbe::kNotProbed);
  const std::vector<std::string> expected = {
      "read 1 bytes at 2:000024 (status byte)",
      "read 1 bytes at 0:003100 (main settings length)",
      "read 16 bytes at 0:003101 (main settings)",
      "read 6 bytes at 0:004000 (common block, group 0)",
      // Variant 1 takes the byte after each record along: Write sends it back.
      "read 20 bytes at 0:001000 (calibration record, group 0 nozzle 1)",
      "read 20 bytes at 0:001100 (calibration record, group 0 nozzle 2)",
      "read 20 bytes at 0:001200 (calibration record, group 0 nozzle 3)",
      "read 20 bytes at 0:001300 (calibration record, group 0 nozzle 4)",
      "read 16 bytes at 0:005300 (password state)"};
  EXPECT_EQ(MemoryRequests(), expected);
  // The first request on the wire, byte for byte: select, then read header.
  const std::vector<Received> received = ReceivedRequests();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].wire, (std::vector<uint8_t>{0x60, 0x01, 0x4A, 0x6C, 0x00, 0x00, 0x00,
                                                     0x00, 0x24, 0x00, 0x01, 0xDC}));
  // Every buffer holds the controller's bytes.
  EXPECT_EQ(std::vector<uint8_t>(state.mainSettings, state.mainSettings + 16),
            Bytes(image, 0, layout::kSettings, 16));
  EXPECT_EQ(std::vector<uint8_t>(state.commonBlock, state.commonBlock + 6),
            Bytes(image, 0, 0x4000, 6));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::vector<uint8_t>(state.calibration[i], state.calibration[i] + 19),
              Bytes(image, 0, (0x10 + i) * 256, 19))
        << i;
    EXPECT_TRUE(state.recordReceived[i] && state.recordRead[i]) << i;
  }
  EXPECT_EQ(state.reportedNozzleCount, 4);
  EXPECT_EQ(NozzleRowsShown(state), 4);
  EXPECT_TRUE(state.commonBlockReceived && state.commonBlockRead);
  // No password on this controller: its state is sixteen 0x11 bytes.
  EXPECT_TRUE(state.passwordFree);
  EXPECT_EQ(state.passwordState[0], 0);
  EXPECT_EQ(state.passwordStateAsRead[0], 0x11);
}

TEST_F(CoreReadTest, VariantZeroFindsTheGroupOfTheAddress) {
  // Three groups at 5, 6, 7; "7" is group 2, so nozzle i's record is at
  // (0x10 + i + 2N) x 256.
  Connect(FreshImage(0, 2, 3, {5, 6, 7}));
  ASSERT_EQ(Read(7), ReadOutcome::kRead);
  EXPECT_EQ(state.groupIndex, 2);
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[3], "read 6 bytes at 0:004200 (common block, group 2)");
  EXPECT_EQ(requests[4], "read 19 bytes at 0:001400 (calibration record, group 2 nozzle 1)");
  EXPECT_EQ(requests[5], "read 19 bytes at 0:001500 (calibration record, group 2 nozzle 2)");
}

TEST_F(CoreReadTest, ServiceAddressF0AlwaysReadsGroupZero) {
  Connect(FreshImage(1, 2, 2, {1, 2}));
  ASSERT_EQ(Read(2), ReadOutcome::kRead);
  EXPECT_EQ(state.groupIndex, 1);
  ASSERT_EQ(Read(0xF0), ReadOutcome::kRead);
  EXPECT_EQ(state.address, 0xF0);
  EXPECT_EQ(state.groupIndex, 0);
}

TEST_F(CoreReadTest, VariantTwoProbesForCngDiagnosticsAndReadsShortRecords) {
  const MemoryImage image = FreshImage(2, 2);
  Connect(image);
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  EXPECT_EQ(state.variant, 2);
  EXPECT_EQ(state.cngProbe, CngProbe::kPresent);
  // The identification text, cut 9 bytes after the start of "HIA".
  EXPECT_STREQ(state.cngText, "HIA 1.07 ");
  std::vector<std::string> kinds;
  for (const Received& r : ReceivedRequests()) kinds.push_back(r.what.substr(r.what.find(": ") + 2));
  ASSERT_GE(kinds.size(), 3u);
  EXPECT_EQ(kinds[1], "error record");
  EXPECT_EQ(kinds[2], "identification probe");
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[4], "read 15 bytes at 0:001000 (calibration record, group 0 nozzle 1)");
  EXPECT_EQ(requests[5], "read 15 bytes at 0:001200 (calibration record, group 0 nozzle 2)");
  EXPECT_EQ(requests[6], "read 16 bytes at 2:000002 (password state)");
  EXPECT_EQ(std::vector<uint8_t>(state.shortCalibration[1], state.shortCalibration[1] + 15),
            Bytes(image, 0, 0x1200, 15));
}

TEST_F(CoreReadTest, VariantTwoWithoutCngSendsNoProbe) {
  Connect(FreshImage(2, 1), {"--no-cng"});
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  EXPECT_EQ(state.cngProbe, CngProbe::kAbsent);
  for (const Received& r : ReceivedRequests()) EXPECT_EQ(r.what.find("identification"), std::string::npos);
}

TEST_F(CoreReadTest, WrongSettingsChecksumStopsAfterTheBlock) {
  MemoryImage image = FreshImage(1, 2);
  image.set(0, layout::kSettings + 15, image.get(0, layout::kSettings + 15) ^ 0x01);
  Connect(image);
  state.reportedNozzleCount = 6;   // left by an earlier Read
  EXPECT_EQ(Read(1), ReadOutcome::kWrongChecksum);
  EXPECT_EQ(MemoryRequests().size(), 3u);   // status, length, block: nothing after
  EXPECT_EQ(state.reportedNozzleCount, 6);
}

TEST_F(CoreReadTest, ZeroNozzlesShowsNoRowYetReadsNozzleOne) {
  MemoryImage image = FreshImage(1, 1);
  image.set(0, layout::kSettings + 4, 0);   // N
  FixSettingsChecksum(image);
  Connect(image);
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[4].substr(0, 25), "read 20 bytes at 0:001000");
  EXPECT_EQ(state.nozzleCount, 1);
  EXPECT_EQ(state.reportedNozzleCount, 0);
  EXPECT_EQ(NozzleRowsShown(state), 0);
  EXPECT_EQ(NozzleRecordsRead(state), 1);
}

TEST_F(CoreReadTest, MoreNozzlesThanRowsReadsEight) {
  MemoryImage image = FreshImage(1, 8);
  image.set(0, layout::kSettings + 4, 10);   // N = 10
  FixSettingsChecksum(image);
  Connect(image);
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 13u);   // status, length, block, common, 8 records, password
  EXPECT_EQ(requests[11].substr(0, 25), "read 20 bytes at 0:001700");
  EXPECT_EQ(NozzleRowsShown(state), 8);
}

TEST_F(CoreReadTest, PasswordStateAsksForThePassword) {
  Connect({"--variant", "1", "--password", "1234"});
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  EXPECT_FALSE(state.passwordFree);
  EXPECT_TRUE(state.passwordState[0] & 0x02);
}

TEST_F(CoreReadTest, NoAnswerIsNoConnectionAndChangesNothingElse) {
  Connect(FreshImage(1, 2));
  ASSERT_EQ(Read(1), ReadOutcome::kRead);
  const ControllerState before = state;
  EXPECT_EQ(Read(9), ReadOutcome::kNoConnection);   // nobody at address 9
  EXPECT_EQ(state.outcome, ReadOutcome::kNoConnection);
  EXPECT_FALSE(state.readCurrent);
  EXPECT_EQ(std::memcmp(state.calibration, before.calibration, sizeof state.calibration), 0);
  EXPECT_EQ(state.variant, before.variant);
}

TEST(CoreAddressTest, TheAddressInputIsHexadecimalWithOneForAnythingElse) {
  EXPECT_EQ(ParseControllerAddress("F0"), 0xF0);
  EXPECT_EQ(ParseControllerAddress("10"), 0x10);
  EXPECT_EQ(ParseControllerAddress("zz"), 1);
  EXPECT_EQ(ParseControllerAddress(""), 1);
}

}  // namespace
