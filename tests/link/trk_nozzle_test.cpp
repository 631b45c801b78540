// Nozzle commands and presets: their bodies on the wire, the reply byte, and
// the error record fetched after a refusal.
#include "tests/link/trk_fixture.h"

namespace {

Bytes commandWire(uint8_t function, Bytes body) {
  Bytes wire = selectFrame(function);
  body = withChecksum(body);
  wire.insert(wire.end(), body.begin(), body.end());
  return wire;
}

TEST_F(TrkTest, FillCommandCarriesValueInTensAsEightBcdDigits) {
  NozzleCommand fill{0, 1234567, 1};
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  expectWire(commandWire(0x11, {0x01, 0x01, 0x01, 0x00, 0x12, 0x34, 0x56}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkDone);

  // The modifier follows fillKind, and only on type 18.
  trk.fillKind = 1;
  NozzleCommand small{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(3, &small), kTrkPending);
  expectWire(commandWire(0x14, {0x04, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(3, &small); }), kTrkDone);

  trk.type = 17;
  trk.fillKind = 0;
  EXPECT_EQ(trk.nozzleCommand(0, &small), kTrkPending);
  expectWire(commandWire(0x11, {0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &small); }), kTrkDone);
}

TEST_F(TrkTest, PresetUsesItsOwnFunctionAndBody) {
  NozzleCommand preset{3, 500000, 80};
  EXPECT_EQ(trk.nozzleCommand(1, &preset), kTrkPending);
  expectWire(commandWire(0x52, {0x02, 0x00, 0x05, 0x00, 0x00, 0x03, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(1, &preset); }), kTrkDone);
}

TEST_F(TrkTest, CommandCodesMapToTheirFunctions) {
  trk.currentNozzle = 2;
  EXPECT_EQ(trk.sendFunction13(-1), kTrkPending);
  expectWire(commandWire(0x13, {0x03, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.sendFunction13(-1); }), kTrkDone);

  EXPECT_EQ(trk.sendFunction03(0), kTrkPending);
  expectWire(commandWire(0x11, {0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.sendFunction03(0); }), kTrkDone);

  NozzleCommand other{0, 0, 176};
  EXPECT_EQ(trk.nozzleCommand(0, &other), kTrkPending);
  expectWire(commandWire(0x11, {0x01, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &other); }), kTrkDone);
}

TEST_F(TrkTest, Codes3And19AreSkippedOnType18) {
  NozzleCommand code3{0, 0, 3};
  EXPECT_EQ(trk.nozzleCommand(0, &code3), kTrkDone);

  // Code 19 goes out only while bit 7 of the nozzle's flags is clear.
  NozzleCommand code19{0, 0, 19};
  NozzleTable[1].flags = 0x80;
  EXPECT_EQ(trk.nozzleCommand(1, &code19), kTrkDone);
  trk.currentNozzle = 1;
  EXPECT_EQ(trk.nozzleCommand(-1, &code19), kTrkDone);
  EXPECT_EQ(pty.drain(20), Bytes{});

  NozzleTable[1].flags = 0x7F;
  EXPECT_EQ(trk.nozzleCommand(-1, &code19), kTrkPending);
  expectWire(commandWire(0x12, {0x02, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(-1, &code19); }), kTrkDone);

  // Other controller types get both.
  trk.type = 17;
  NozzleTable[1].flags = 0x80;
  EXPECT_EQ(trk.nozzleCommand(1, &code19), kTrkPending);
  expectWire(commandWire(0x12, {0x02, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(1, &code19); }), kTrkDone);
  EXPECT_EQ(trk.nozzleCommand(0, &code3), kTrkPending);
  expectWire(commandWire(0x11, {0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &code3); }), kTrkDone);
}

TEST_F(TrkTest, RefusedCommandOnType18FetchesTheControllersReason) {
  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0xFF});
  EXPECT_EQ(stepUntilSent(pty, [&] { return trk.nozzleCommand(0, &fill); }, 4),
            (Bytes{0x60, 0x01, 0xF0, 0x19}));
  Bytes record(16, 0x00);
  record[7] = 0x58;
  pty.send(record);  // at once: the record is awaited for 300 ms only
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkRefused);
  EXPECT_EQ(pty.drain(20), Bytes{});
  EXPECT_EQ(trk.lastError, 0x58);
  EXPECT_EQ(trk.commandState, 0);
  EXPECT_EQ(trk.blockState, 0);

  // No record in time: still refused, and lastError says no answer.
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0xFF});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkRefused);
  EXPECT_EQ(pty.receive(4, 2000), (Bytes{0x60, 0x01, 0xF0, 0x19}));
  EXPECT_EQ(trk.lastError, kErrorNoAnswer);
}

TEST_F(TrkTest, RefusalOnOtherTypesAndStrayBytesEndAtOnce) {
  trk.type = 17;
  trk.lastError = 0;
  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0xFF});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkRefused);
  EXPECT_EQ(pty.drain(20), Bytes{});  // no error record asked for
  EXPECT_EQ(trk.lastError, 0);

  trk.type = 18;
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0x42});
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkFailed);
  EXPECT_EQ(trk.lastError, kErrorUnexpectedByte);
  EXPECT_EQ(trk.commandState, 0);
}

TEST_F(TrkTest, SilentControllerTimesTheCommandOut) {
  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkNoReply);
  EXPECT_EQ(trk.lastError, kErrorNoAnswer);
  EXPECT_EQ(trk.commandState, 0);
}

TEST_F(TrkTest, PositionWithoutNozzleCodeSendsNothing) {
  // The window's link has four nozzles while a controller may show eight.
  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(4, &fill), kTrkFailed);
  EXPECT_EQ(trk.lastError, kErrorUnexpectedByte);
  EXPECT_EQ(trk.commandState, 0);
  EXPECT_EQ(trk.readTotal(0, 4, 0), kTrkFailed);
  trk.lastError = 0;
  trk.requestStatus(4);
  EXPECT_EQ(pty.drain(20), Bytes{});
  EXPECT_EQ(pollStep([&] { return trk.collectStatus(0); }), kTrkNoReply);
  EXPECT_EQ(trk.lastError, 0);
}

TEST_F(TrkTest, NozzleMinusOneMeansCurrentNozzle) {
  trk.currentNozzle = 3;
  EXPECT_EQ(trk.nozzleCode(-1), 4);
  EXPECT_EQ(trk.nozzleRecord(-1), &NozzleTable[3]);
  EXPECT_EQ(trk.nozzleCode(trk.nozzleCount), -1);
  EXPECT_EQ(trk.nozzleRecord(trk.nozzleCount), nullptr);

  // A link on side 1 of dispenser 2 uses the codes after side 0's.
  trk.dispenser = 2;
  trk.side = 1;
  trk.firstPosition = 4;
  EXPECT_EQ(trk.nozzleCode(0), 5);
  EXPECT_EQ(trk.nozzleRecord(0), &NozzleTable[2 * 8]);
}

TEST(TrkConstructionTest, TakesItsConfigurationFromTheStation) {
  StationConfig station{};
  station.dispensers[2].controllerType = 17;
  DispenserConfigRecord& config = station.configs[3];
  std::memset(config.name, 'N', sizeof config.name);  // fills all 20 bytes
  config.nozzleCount = 3;
  config.sideCount = 2;
  for (int i = 0; i < 14; ++i) config.nozzleCodes[i] = static_cast<int8_t>(i + 1);
  station.dispensers[2].grades[1] = 7;
  station.products[7].value = 4321;

  Trk trk(2, 5, 9, 1, 3, station);
  EXPECT_EQ(trk.type, 17);
  EXPECT_EQ(trk.address, 5);
  EXPECT_EQ(trk.portHandle(), 9);
  EXPECT_EQ(trk.firstPosition, 3);
  EXPECT_EQ(trk.statusLength, 48);
  EXPECT_EQ(trk.controlBit, -1);
  EXPECT_EQ(trk.linkFlags, 0x80);
  EXPECT_EQ(trk.linkState, kLinkUp);
  EXPECT_EQ(trk.nozzleCode(0), 4);
  EXPECT_EQ(std::string(trk.name()), std::string(20, 'N'));

  EXPECT_EQ(trk.selectNozzle(1), 4321);
  EXPECT_EQ(trk.currentNozzle, 1);
  EXPECT_EQ(trk.selectNozzle(3), 4321);  // beyond nozzleCount: current nozzle kept
  EXPECT_EQ(trk.currentNozzle, 1);

  // Each link reads its own station: one given none finds everything zero.
  Trk bare(2, 5, 9, 1, 3);
  EXPECT_EQ(bare.type, 0);
  EXPECT_EQ(bare.nozzleCount, 0);
  EXPECT_EQ(bare.selectNozzle(1), 0);
}

}  // namespace
