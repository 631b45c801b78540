// Open Port and Read against the simulated controller of each variant.
#include <cstdio>
#include <string>

#include "app/coefficient_math.h"
#include "app/controller_state.h"
#include "app/main_form.h"
#include "app/procedures.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "tests/app/procedure_fixture.h"

namespace {

using ReadTest = ProcedureTest;

std::string ShownCoefficient(const std::vector<uint8_t>& record, bool shortRecord) {
  char text[64];
  std::snprintf(text, sizeof text, "* %f",
                shortRecord ? ShortCoefficientValue(record.data()) : CoefficientValue(record.data()));
  return text;
}

bool RowVisible(int n) {
  return nozzleCoefficientInputs[n]->visible() && nozzleLoadButtons[n]->visible() &&
         nozzleNumberFields[n]->visible();
}
bool RowHidden(int n) {
  return !nozzleCoefficientInputs[n]->visible() && !nozzleLoadButtons[n]->visible() &&
         !nozzleNumberFields[n]->visible();
}

TEST_F(ReadTest, VariantOneReadsEverythingInOrderAndShowsIt) {
  const MemoryImage image = FreshImage(1, 4);
  Connect(image);
  EXPECT_EQ(AppLink->port, OpenPortHandle);
  EXPECT_STREQ(MainForm->openCloseButton->label(), "Close Port");
  EXPECT_TRUE(MainForm->readButton->active());
  EXPECT_TRUE(MainForm->writeButton->active());
  Read("1");
  EXPECT_TRUE(alerts.empty());
  EXPECT_STREQ(MainForm->stateBox->label(), "Connected");
  EXPECT_EQ(MainForm->stateBox->labelcolor(), 56u);
  EXPECT_EQ(Controller.variant, 1);

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

  for (int n = 1; n <= 4; ++n) {
    const auto record = Bytes(image, 0, (0x10 + n - 1) * 256, 19);
    EXPECT_EQ(nozzleCoefficientInputs[n]->value(), ShownCoefficient(record, false)) << n;
    EXPECT_EQ(nozzleNumberFields[n]->value(), std::to_string(CalibrationCount(record.data())));
    EXPECT_TRUE(RowVisible(n)) << n;
  }
  for (int n = 5; n <= 8; ++n) EXPECT_TRUE(RowHidden(n)) << n;
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "12 01.03.23");
  // The common counter and the full-tank check go under the last row.
  EXPECT_EQ(MainForm->commonCounterInput->y(), nozzleCoefficientInputs[4]->y() + 42);
  EXPECT_EQ(MainForm->commonCounterInput->x(), nozzleCoefficientInputs[1]->x());
  EXPECT_EQ(MainForm->fullTankCheck->y(), nozzleLoadButtons[4]->y() + 34);
  EXPECT_TRUE(MainForm->fullTankCheck->visible());
  // No password on this controller: its state is sixteen 0x11 bytes.
  EXPECT_FALSE(MainForm->passwordInput->active());
  EXPECT_EQ(Controller.passwordState[0], 0);
}

TEST_F(ReadTest, VariantZeroFindsTheGroupOfTheAddress) {
  // Three groups at 5, 6, 7; "7" is group 2, so nozzle i's record is at
  // (0x10 + i + 2N) x 256.
  Connect(FreshImage(0, 2, 3, {5, 6, 7}));
  Read("7");
  EXPECT_EQ(Controller.groupIndex, 2);
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[3], "read 6 bytes at 0:004200 (common block, group 2)");
  EXPECT_EQ(requests[4], "read 19 bytes at 0:001400 (calibration record, group 2 nozzle 1)");
  EXPECT_EQ(requests[5], "read 19 bytes at 0:001500 (calibration record, group 2 nozzle 2)");
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "14");   // variant 0: counter only
  EXPECT_STREQ(nozzleNumberFields[1]->value(), "");
  EXPECT_TRUE(RowVisible(2));
  EXPECT_TRUE(RowHidden(3));
}

TEST_F(ReadTest, ServiceAddressF0AlwaysReadsGroupZero) {
  Connect(FreshImage(1, 2, 2, {1, 2}));
  Read("2");
  EXPECT_EQ(Controller.groupIndex, 1);
  Read("F0");
  EXPECT_EQ(Controller.address, 0xF0);
  EXPECT_EQ(Controller.groupIndex, 0);
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "12 01.03.23");
}

TEST_F(ReadTest, VariantTwoProbesForCngDiagnosticsAndReadsShortRecords) {
  const MemoryImage image = FreshImage(2, 2);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(Controller.variant, 2);
  EXPECT_TRUE(MainForm->cngDiagsOutput->visible());
  // The identification text, cut 9 bytes after the start of "HIA".
  EXPECT_STREQ(MainForm->cngDiagsOutput->value(), "HIA 1.07 ");
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
  const auto shortRecord = Bytes(image, 0, 0x1200, 15);
  EXPECT_EQ(nozzleCoefficientInputs[2]->value(), ShownCoefficient(shortRecord, true));
  EXPECT_STREQ(nozzleNumberFields[2]->value(), "3");
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "12 01.03.23");
}

TEST_F(ReadTest, VariantTwoWithoutCngHidesTheDiagnostics) {
  Connect(FreshImage(2, 1), {"--no-cng"});
  MainForm->cngDiagsOutput->show();
  Read("1");
  EXPECT_FALSE(MainForm->cngDiagsOutput->visible());
  for (const Received& r : ReceivedRequests()) EXPECT_EQ(r.what.find("identification"), std::string::npos);
}

TEST_F(ReadTest, WrongSettingsChecksumChangesNoRow) {
  MemoryImage image = FreshImage(1, 2);
  image.set(0, layout::kSettings + 15, image.get(0, layout::kSettings + 15) ^ 0x01);
  Connect(FreshImage(1, 6));
  Read("1");
  ASSERT_TRUE(RowVisible(6));
  const std::string shown = nozzleCoefficientInputs[1]->value();
  sim.reset();
  OpenClosePort();
  ForgetReceived();
  Connect(image);
  Read("1");
  EXPECT_EQ(alerts, std::vector<std::string>{"Warning! Wrong CRC in main settings"});
  EXPECT_TRUE(RowVisible(6));
  EXPECT_EQ(nozzleCoefficientInputs[1]->value(), shown);
  EXPECT_EQ(MemoryRequests().size(), 3u);   // status, length, block: nothing after
}

TEST_F(ReadTest, ZeroNozzlesHidesEveryRowYetReadsNozzleZero) {
  MemoryImage image = FreshImage(1, 1);
  image.set(0, layout::kSettings + 4, 0);   // N
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowHidden(n)) << n;
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[4].substr(0, 25), "read 20 bytes at 0:001000");
  EXPECT_EQ(Controller.nozzleCount, 1);
  EXPECT_EQ(MainForm->commonCounterInput->y(), nozzleCoefficientInputs[1]->y() + 42);
}

TEST_F(ReadTest, MoreNozzlesThanRowsReadsTheEightThereAreRoom) {
  MemoryImage image = FreshImage(1, 8);
  image.set(0, layout::kSettings + 4, 10);   // N = 10
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowVisible(n)) << n;
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 13u);   // status, length, block, common, 8 records, password
  EXPECT_EQ(requests[11].substr(0, 25), "read 20 bytes at 0:001700");
  EXPECT_EQ(MainForm->commonCounterInput->y(), nozzleCoefficientInputs[8]->y() + 42);
}

TEST_F(ReadTest, PasswordStateDecidesThePasswordInput) {
  Connect({"--variant", "1", "--password", "1234"});
  Read("1");
  EXPECT_TRUE(MainForm->passwordInput->active());
  EXPECT_TRUE(Controller.passwordState[0] & 0x02);
}

TEST_F(ReadTest, NoAnswerShowsNoConnectionInRed) {
  Connect(FreshImage(1, 2));
  Read("9");   // nobody at address 9
  EXPECT_STREQ(MainForm->stateBox->label(), "No connection");
  EXPECT_EQ(MainForm->stateBox->labelcolor(), 88u);
  EXPECT_TRUE(alerts.empty());
}

TEST_F(ReadTest, ClosingThePortDeactivatesReadAndWrite) {
  Connect(FreshImage(1, 1));
  OpenClosePort();
  EXPECT_EQ(OpenPortHandle, 0);
  EXPECT_STREQ(MainForm->openCloseButton->label(), "Open Port");
  EXPECT_FALSE(MainForm->readButton->active());
  EXPECT_FALSE(MainForm->writeButton->active());
  EXPECT_NE(AppLink->port, 0);   // the link keeps the old handle
  PortNameList.count = 0;
  OpenClosePort();   // nothing to open
  EXPECT_EQ(alerts, std::vector<std::string>{"error\nNo port is selected"});
  EXPECT_EQ(OpenPortHandle, 0);
}

}  // namespace
