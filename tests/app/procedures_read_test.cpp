// Open Port and Read in the window against the simulated controller: what the
// window shows of what Read found. What goes over the wire and the state Read
// leaves are tested without a window (core_read_test.cpp).
#include <cstdio>
#include <string>

#include "app/core/coefficient_math.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
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

TEST_F(ReadTest, VariantOneShowsEverythingItRead) {
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
}

TEST_F(ReadTest, VariantZeroShowsTheCounterOnlyAndNoNumbers) {
  Connect(FreshImage(0, 2, 3, {5, 6, 7}));
  Read("7");
  EXPECT_EQ(Controller.groupIndex, 2);
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "14");   // variant 0: counter only
  EXPECT_STREQ(nozzleNumberFields[1]->value(), "");
  EXPECT_TRUE(RowVisible(2));
  EXPECT_TRUE(RowHidden(3));
}

TEST_F(ReadTest, TheAddressInputIsReadAsHexadecimal) {
  Connect(FreshImage(1, 2, 2, {1, 2}));
  Read("F0");
  EXPECT_EQ(Controller.address, 0xF0);
  EXPECT_EQ(Controller.groupIndex, 0);
  EXPECT_STREQ(MainForm->commonCounterInput->value(), "12 01.03.23");
}

TEST_F(ReadTest, VariantTwoShowsCngIdentificationAndShortRecords) {
  const MemoryImage image = FreshImage(2, 2);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(Controller.variant, 2);
  EXPECT_TRUE(MainForm->cngDiagsOutput->visible());
  // The identification text, cut 9 bytes after the start of "HIA".
  EXPECT_STREQ(MainForm->cngDiagsOutput->value(), "HIA 1.07 ");
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

TEST_F(ReadTest, ZeroNozzlesHidesEveryRow) {
  MemoryImage image = FreshImage(1, 1);
  image.set(0, layout::kSettings + 4, 0);   // N
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowHidden(n)) << n;
  // Nozzle 1's record was read into its hidden row.
  EXPECT_EQ(nozzleCoefficientInputs[1]->value(), ShownCoefficient(Bytes(image, 0, 0x1000, 19), false));
  EXPECT_EQ(MainForm->commonCounterInput->y(), nozzleCoefficientInputs[1]->y() + 42);
}

TEST_F(ReadTest, MoreNozzlesThanRowsShowsAllEightRows) {
  MemoryImage image = FreshImage(1, 8);
  image.set(0, layout::kSettings + 4, 10);   // N = 10
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowVisible(n)) << n;
  EXPECT_EQ(MainForm->commonCounterInput->y(), nozzleCoefficientInputs[8]->y() + 42);
}

TEST_F(ReadTest, PasswordStateDecidesThePasswordInput) {
  Connect({"--variant", "1", "--password", "1234"});
  Read("1");
  EXPECT_TRUE(MainForm->passwordInput->active());
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
