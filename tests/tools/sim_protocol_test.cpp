// The simulator's side of the wire: frames decoded and answered as the tool
// expects, driven in-process with explicit times.
#include <gtest/gtest.h>

#include <random>

#include "link/frame.h"
#include "tests/tools/sim_wire.h"
#include "tools/dispenser_sim/error_codes.h"

namespace {

layout::ControllerLayout variant(int v, int nozzles = 4, int groups = 1) {
  layout::ControllerLayout s;
  s.variant = v;
  s.nozzles = nozzles;
  s.groups = groups;
  return s;
}

TEST(SimWire, AnswersTheReadOfTheSettingsLengthAsWrittenOnTheWire) {
  SimUnderTest sim(variant(1));
  Bytes reply = sim.send({0x60, 0x01, 0x48, 0x68, 0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB});
  ASSERT_EQ(reply.size(), 2u);
  EXPECT_EQ(reply[0], 16);  // the main settings length
  EXPECT_EQ(reply[1], frameChecksum(reply.data(), 1));
}

TEST(SimWire, CommitFrameIsCountedAndAnsweredWithTwoBytes) {
  SimUnderTest sim(variant(0));
  Bytes reply = sim.send({0x60, 0x01, 0x40, 0x78, 0x01, 0x00, 0xFF, 0x88, 0xFF, 0x55, 0x01, 0xA0});
  EXPECT_EQ(reply, (Bytes{0x00, 0x55}));
  EXPECT_EQ(sim.controller.commits(), 1);
  // Any other byte there is stored but commits nothing.
  sim.write(1, 0, 0x88FFFF, {0x54});
  EXPECT_EQ(sim.controller.commits(), 1);
}

TEST(SimWire, ErrorRecordIsSixteenBytesWithTheCodeInByteSevenAndCngMark) {
  SimUnderTest plain(variant(1));
  Bytes record = plain.send({0x60, 0x01, 0xF0, 0x19});
  ASSERT_EQ(record.size(), 16u);
  EXPECT_EQ(record[7], 0);
  EXPECT_EQ(record[12], 0);

  SimUnderTest cng(variant(2));
  record = cng.send({0x60, 0x01, 0xF0, 0x19});
  ASSERT_EQ(record.size(), 16u);
  EXPECT_EQ(record[12], '$');
}

TEST(SimWire, WriteOfSeveralBytesWaitsForTheBodyAndAnswersOneByte) {
  SimUnderTest sim(variant(1));
  EXPECT_TRUE(sim.send(writeHeader(1, 0, 0x4001, {0x22, 0x01})).empty());
  sim.now += 60000;
  EXPECT_EQ(sim.send(writeBody({0x22, 0x01})), Bytes{0x00});
  EXPECT_EQ(sim.memory.get16(0, 0x4001), 0x0122);

  // A body whose checksum is wrong is refused and changes nothing.
  sim.send(writeHeader(1, 0, 0x4001, {0x33, 0x02}));
  EXPECT_EQ(sim.send({0x02, 0x00}), Bytes{0xFF});
  EXPECT_EQ(sim.memory.get16(0, 0x4001), 0x0122);
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kBodyChecksum);
}

TEST(SimWire, AnswersOnlyItsOwnGroupAddressesAndTheServiceAddress) {
  layout::ControllerLayout controllerLayout = variant(0, 2, 3);
  controllerLayout.groupAddress[0] = 5;
  controllerLayout.groupAddress[1] = 6;
  controllerLayout.groupAddress[2] = 7;
  SimUnderTest sim(controllerLayout);
  EXPECT_TRUE(sim.send(readRequest(1, 2, 0x24, 1)).empty());
  EXPECT_EQ(sim.send(readRequest(7, 2, 0x24, 1)).size(), 2u);
  EXPECT_EQ(sim.send(readRequest(0xF0, 2, 0x24, 1)).size(), 2u);
  // Another controller's write body is swallowed, not taken for a frame.
  sim.send(writeHeader(9, 0, 0x4001, {0x60, 0x07, 0x48}));
  EXPECT_TRUE(sim.send(writeBody({0x60, 0x07, 0x48})).empty());
  EXPECT_EQ(sim.memory.get(0, 0x4001), 12);
  // Group 2 (address 7) has its own status and fills.
  sim.send(nozzleCommand(7, 1, 0x01, 10000));
  EXPECT_EQ(sim.status(7, 1)[6], 0x30);
  EXPECT_EQ(sim.status(5, 1)[6], 0x10);
}

TEST(SimWire, GarbageIsSkippedUntilTheNextValidSelectFrame) {
  SimUnderTest sim(variant(1));
  // Noise, a select frame with a wrong checksum, a stray 0x60, then a request.
  Bytes noise = {0x13, 0x60, 0x60, 0x01, 0x48, 0x00, 0xFF, 0x60};
  EXPECT_EQ(sim.send(noise + readRequest(1, 2, 0x24, 1)).size(), 2u);
  // A read header with a wrong checksum is dropped; the stream recovers.
  Bytes badHeader = selectFrame(1, 0x48) + Bytes{0, 0, 0x31, 0, 0, 0, 1, 0x00};
  EXPECT_EQ(sim.send(badHeader + readRequest(1, 2, 0x24, 1)).size(), 2u);
}

TEST(SimWire, FrameLeftIncompleteTooLongIsDropped) {
  SimUnderTest sim(variant(1));
  Bytes request = readRequest(1, 2, 0x24, 1);
  sim.send(Bytes(request.begin(), request.begin() + 6));
  sim.now += 2000000;  // beyond the gap limit: the tool gave up and starts again
  EXPECT_EQ(sim.send(request).size(), 2u);
}

TEST(SimWire, PointToPointHeadersWithoutSelectGoToBankZero) {
  ControllerSettings c;
  SessionSettings s = SimUnderTest::quickSession();
  s.pointToPoint = true;
  SimUnderTest sim(variant(1), c, s);
  Bytes header = {0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB};
  Bytes reply = sim.send(header);
  ASSERT_EQ(reply.size(), 2u);
  EXPECT_EQ(reply[0], 16);
  Bytes commit = {0x01, 0x00, 0xFF, 0x88, 0xFF, 0x55, 0x01, 0xA0};
  EXPECT_EQ(sim.send(commit).size(), 2u);
  EXPECT_EQ(sim.controller.commits(), 1);
}

TEST(SimKey, WritesAreRefusedWithCode58WhileTheKeyIsOff) {
  ControllerSettings c;
  c.keyOn = false;
  SimUnderTest sim(variant(1), c);
  EXPECT_EQ(sim.write(1, 0, 0x4001, {5, 1, 2, 3, 24}), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kKeyOff);
  EXPECT_EQ(sim.write(1, 0, 0x88FFFF, {0x55})[0], 0xFF);
  EXPECT_EQ(sim.controller.commits(), 0);
  EXPECT_EQ(sim.memory.get16(0, 0x4001), 12);
  sim.controller.setKey(true);
  EXPECT_EQ(sim.write(1, 0, 0x4001, {5, 1, 2, 3, 24}), Bytes{0x00});
  EXPECT_EQ(sim.memory.get16(0, 0x4001), 0x0105);
}

TEST(SimPassword, NoPasswordReadsAsSixteenElevens) {
  SimUnderTest sim(variant(0));
  EXPECT_EQ(sim.read(1, 0, 0x5300, 16), Bytes(16, 0x11));
  SimUnderTest v2(variant(2));
  EXPECT_EQ(v2.read(1, 2, 2, 16), Bytes(16, 0x11));
}

TEST(SimPassword, VariantOneAsksForItAndTakesPOver100AndPModulo100) {
  ControllerSettings c;
  c.password = 1234;
  SimUnderTest sim(variant(1), c);
  EXPECT_EQ(sim.read(1, 0, 0x5300, 16)[0] & 0x02, 0x02);
  // Until the password is entered, writes are refused.
  EXPECT_EQ(sim.write(1, 0, 0x4001, {1, 2}), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kWrongPassword);
  EXPECT_EQ(sim.write(1, 0, 0x5302, {12, 35}), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kWrongPassword);
  EXPECT_EQ(sim.write(1, 0, 0x5302, {12, 34}), Bytes{0x00});
  EXPECT_EQ(sim.read(1, 0, 0x5300, 16)[0] & 0x02, 0);
  EXPECT_EQ(sim.write(1, 0, 0x4001, {1, 2}), Bytes{0x00});
  // The password state is the controller's, not memory to overwrite.
  EXPECT_EQ(sim.write(1, 0, 0x5300, {0, 0}), Bytes{0xFF});
}

TEST(SimPassword, ThreeWrongEntriesLockEntryEvenForTheRightOne) {
  ControllerSettings c;
  c.password = 777;
  SimUnderTest sim(variant(2), c);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sim.write(1, 2, 3, {0x10, 0x03}), Bytes{0xFF});
    EXPECT_EQ(sim.lastErrorCode(1), errcode::kWrongPassword) << "wrong entry " << i + 1;
  }
  EXPECT_EQ(sim.write(1, 2, 3, {777 & 0xFF, 777 >> 8}), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kPasswordLocked);
  EXPECT_EQ(sim.read(1, 2, 2, 16)[0] & 0x06, 0x06);
}

TEST(SimPassword, VariantTwoTakesThePasswordLittleEndian) {
  ControllerSettings c;
  c.password = 0x1234;
  SimUnderTest sim(variant(2), c);
  EXPECT_EQ(sim.write(1, 2, 3, {0x34, 0x12}), Bytes{0x00});
  EXPECT_EQ(sim.read(1, 2, 2, 16)[0] & 0x02, 0);
}

TEST(SimCalibration, VariantTwoMessageScalesTheShortRecordAndCountsIt) {
  SimUnderTest sim(variant(2, 2, 2));
  layout::Shape shape = sim.controller.shape();
  uint32_t at = layout::record(shape, 1, 0);  // nozzle 2, group 0
  Bytes before = sim.read(1, 0, at, 15);
  uint64_t k = (uint64_t(before[11]) << 32) | before[0] | (before[1] << 8) | (before[2] << 16) |
               (uint64_t(before[3]) << 24);
  // 10.100 raises the coefficient by 1 %.
  EXPECT_EQ(sim.write(1, 2, 6, {2, 10100 & 0xFF, 10100 >> 8, 16, 3, 23}), Bytes{0x00});
  Bytes after = sim.read(1, 0, at, 15);
  uint64_t k2 = (uint64_t(after[11]) << 32) | after[0] | (after[1] << 8) | (after[2] << 16) |
                (uint64_t(after[3]) << 24);
  EXPECT_EQ(k2, (k * 10100 + 5000) / 10000);
  EXPECT_EQ(after[12] | (after[13] << 8), (before[12] | (before[13] << 8)) + 1);
  EXPECT_EQ(sim.read(1, 0, 0x4000, 6), (Bytes{0, 13, 0, 16, 3, 23}));
  // A value outside 5.000-20.000 and a nozzle beyond N are refused.
  EXPECT_EQ(sim.write(1, 2, 6, {2, 0x10, 0x00, 16, 3, 23}), Bytes{0xFF});
  EXPECT_EQ(sim.write(1, 2, 6, {3, 0x10, 0x27, 16, 3, 23}), Bytes{0xFF});
  // 0 resets the coefficient to 1.0.
  EXPECT_EQ(sim.write(1, 2, 6, {1, 0, 0, 16, 3, 23}), Bytes{0x00});
  Bytes reset = sim.read(1, 0, layout::record(shape, 0, 0), 15);
  EXPECT_EQ(reset[11], 1);
  EXPECT_EQ(reset[0] | reset[1] | reset[2] | reset[3], 0);
}

TEST(SimFill, PresetRunsToTheAmountThenFinishesAndCloses) {
  ControllerSettings c;
  c.fills.rateMlPerSecond = 1000;
  c.fills.holdMs = 0;
  SimUnderTest sim(variant(1), c);
  Bytes idle = sim.status(1, 2);
  ASSERT_EQ(idle.size(), 8u);
  EXPECT_EQ(idle[0], 2);
  EXPECT_EQ(idle[1] & 0x02, 0x02);
  EXPECT_EQ(idle[6], 0x10);
  EXPECT_EQ(idle[7], frameChecksum(idle.data(), 7));

  EXPECT_EQ(sim.send(nozzleCommand(1, 2, 0x01, 10000)), Bytes{0x00});
  sim.now += 2500000;
  Bytes running = sim.status(1, 2);
  EXPECT_EQ(running[6], 0x30);
  EXPECT_EQ(running[3], 0x00);  // 2500 ml = 250 tens: BCD 00 02 50
  EXPECT_EQ(running[4], 0x02);
  EXPECT_EQ(running[5], 0x50);
  // A second preset while it runs is refused: busy.
  EXPECT_EQ(sim.send(nozzleCommand(1, 2, 0x01, 10000)), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kNozzleBusy);

  sim.now += 60000000;
  Bytes finished = sim.status(1, 2);
  EXPECT_EQ(finished[6], 0x40);
  EXPECT_EQ(Bytes(finished.begin() + 3, finished.begin() + 6), (Bytes{0x00, 0x10, 0x00}));
  EXPECT_EQ(sim.send(nozzleCommand(1, 2, 0x0F, 0)), Bytes{0x00});
  EXPECT_EQ(sim.status(1, 2)[6], 0x10);
}

TEST(SimFill, CloseDuringAFillStopsItAndTheHoldTimeReturnsItToIdle) {
  ControllerSettings c;
  c.fills.rateMlPerSecond = 2000;
  c.fills.holdMs = 3000;
  SimUnderTest sim(variant(1), c);
  sim.send(nozzleCommand(1, 1, 0x01, 500000));
  sim.now += 1000000;
  EXPECT_EQ(sim.send(nozzleCommand(1, 1, 0x0F, 0)), Bytes{0x00});
  Bytes stopped = sim.status(1, 1);
  EXPECT_EQ(stopped[6], 0x42);
  EXPECT_EQ(stopped[5], 0x00);  // 2000 ml
  EXPECT_EQ(stopped[4], 0x02);
  sim.now += 2999000;
  EXPECT_EQ(sim.status(1, 1)[6], 0x42);
  sim.now += 2000;
  EXPECT_EQ(sim.status(1, 1)[6], 0x10);
}

TEST(SimFill, PumpStartKeepsTheAmountAtZeroThenDeliversFromThere) {
  ControllerSettings c;
  c.fills.rateMlPerSecond = 1000;
  c.fills.startMs = 500;
  c.fills.holdMs = 0;
  SimUnderTest sim(variant(1), c);
  sim.send(nozzleCommand(1, 1, 0x01, 10000));
  sim.now += 499000;
  Bytes starting = sim.status(1, 1);
  EXPECT_EQ(starting[6], 0x30);
  EXPECT_EQ(Bytes(starting.begin() + 3, starting.begin() + 6), (Bytes{0x00, 0x00, 0x00}));
  sim.now += 1001000;   // 1000 ms of pumping: 1000 ml = 100 tens
  Bytes running = sim.status(1, 1);
  EXPECT_EQ(Bytes(running.begin() + 3, running.begin() + 6), (Bytes{0x00, 0x01, 0x00}));
  sim.now += 9000000;   // finished at 0.5 + 10 s
  EXPECT_EQ(sim.status(1, 1)[6], 0x40);
}

TEST(SimFill, ANozzleNotYetLiftedStaysIdleAndCanBeClosed) {
  ControllerSettings c;
  c.fills.rateMlPerSecond = 1000;
  c.fills.liftMs = 2000;
  c.fills.holdMs = 0;
  SimUnderTest sim(variant(1), c);
  EXPECT_EQ(sim.send(nozzleCommand(1, 1, 0x01, 10000)), Bytes{0x00});
  sim.now += 1999000;
  EXPECT_EQ(sim.status(1, 1)[6], 0x10);
  sim.now += 1001000;   // lifted at 2 s: 1000 ml since
  Bytes running = sim.status(1, 1);
  EXPECT_EQ(running[6], 0x30);
  EXPECT_EQ(Bytes(running.begin() + 3, running.begin() + 6), (Bytes{0x00, 0x01, 0x00}));

  // Closed before it is lifted, the preset is gone.
  sim.send(nozzleCommand(1, 1, 0x0F, 0));
  sim.send(nozzleCommand(1, 1, 0x0F, 0));
  EXPECT_EQ(sim.send(nozzleCommand(1, 2, 0x01, 10000)), Bytes{0x00});
  EXPECT_EQ(sim.send(nozzleCommand(1, 2, 0x0F, 0)), Bytes{0x00});
  sim.now += 5000000;
  EXPECT_EQ(sim.status(1, 2)[6], 0x10);
}

TEST(SimFill, RemoteFlagFollowsFunction13AndUnknownNozzlesAreRefused) {
  SimUnderTest sim(variant(1, 2));
  EXPECT_EQ(sim.status(1, 1)[1] & 0x80, 0);
  EXPECT_EQ(sim.send(nozzleCommand(1, 1, 0x13, 0)), Bytes{0x00});
  EXPECT_EQ(sim.status(1, 1)[1] & 0x80, 0x80);
  EXPECT_EQ(sim.send(nozzleCommand(1, 3, 0x01, 10000)), Bytes{0xFF});
  EXPECT_EQ(sim.lastErrorCode(1), errcode::kNoSuchNozzle);
  EXPECT_EQ(sim.status(1, 3)[1] & 0x02, 0);  // a record without data
  // Every nozzle at once: one record each.
  EXPECT_EQ(sim.send(selectFrame(1, 0x8F)).size(), 16u);
}

TEST(SimFill, PresetFrameCarriesSixBcdDigitsAndTheGrade) {
  SimUnderTest sim(variant(1));
  Bytes body = withChecksum({0x01, 0x00, 0x05, 0x00, 0x00, 0x03, 0x00});  // 500000 ml
  EXPECT_EQ(sim.send(selectFrame(1, 0x51) + body), Bytes{0x00});
  EXPECT_EQ(sim.controller.fills().nozzle(0, 0).presetMl, 500000u);
  EXPECT_EQ(sim.status(1, 1)[2], 3);
  Bytes badBcd = withChecksum({0x02, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(sim.send(selectFrame(1, 0x52) + badBcd), Bytes{0xFF});
}

TEST(SimDiagnostics, IdentificationProbeAndTheDiagnosticsBlockFollowTheFill) {
  ControllerSettings c;
  c.fills.rateMlPerSecond = 1000;
  SimUnderTest sim(variant(2, 2, 2), c);
  Bytes text = sim.send(selectFrame(1, 0x00) + Bytes{'1'});
  std::string s(text.begin(), text.end());
  ASSERT_NE(s.find("HIA"), std::string::npos);
  EXPECT_GT(s.size(), s.find("HIA") + 9);

  sim.send(nozzleCommand(2, 1, 0x01, 10000));  // group 1
  sim.now += 5000000;
  sim.session.tick(sim.now);
  Bytes block = sim.read(1, 2, 0x29, 24);
  ASSERT_EQ(block.size(), 24u);
  EXPECT_EQ(block[8] | (block[9] << 8), 2000);   // group 0 at rest
  EXPECT_EQ(block[20] | (block[21] << 8), 0);
  EXPECT_EQ(block[10] | (block[11] << 8), 1750); // group 1 halfway
  EXPECT_EQ(block[22] | (block[23] << 8), 125);

  SimUnderTest noCng(variant(1));
  EXPECT_TRUE(noCng.send(selectFrame(1, 0x00) + Bytes{'1'}).empty());
}

TEST(SimFaults, EachFaultChangesTheReplyAsNamed) {
  auto withFault = [](void (*set)(FaultRates&)) {
    SessionSettings s = SimUnderTest::quickSession();
    set(s.faults);
    return s;
  };
  Bytes request = readRequest(1, 0, 0x3100, 1);

  SimUnderTest lost(variant(1), {}, withFault([](FaultRates& f) { f.noReply = 1; }));
  EXPECT_TRUE(lost.send(request).empty());

  SimUnderTest checksum(variant(1), {}, withFault([](FaultRates& f) { f.badChecksum = 1; }));
  Bytes r = checksum.send(request);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_NE(r[1], frameChecksum(r.data(), 1));

  SimUnderTest cut(variant(1), {}, withFault([](FaultRates& f) { f.truncate = 1; }));
  EXPECT_LT(cut.send(request).size(), 2u);

  SimUnderTest noisy(variant(1), {}, withFault([](FaultRates& f) { f.noise = 1; }));
  EXPECT_GT(noisy.send(request).size(), 2u);

  SimUnderTest refusing(variant(1), {}, withFault([](FaultRates& f) { f.refuse = 1; }));
  EXPECT_EQ(refusing.write(1, 0, 0x4001, {7, 0}), Bytes{0xFF});
  EXPECT_EQ(refusing.memory.get16(0, 0x4001), 12);
  EXPECT_EQ(refusing.lastErrorCode(1), errcode::kFaultRefusal);

  SimUnderTest late(variant(1), {}, withFault([](FaultRates& f) {
    f.late = 1;
    f.lateMs = 1500;
  }));
  late.session.received(request.data(), request.size(), late.now);
  EXPECT_TRUE(late.session.due(late.now + 1499000).empty());
  EXPECT_EQ(late.session.due(late.now + 1500000).size(), 2u);
}

TEST(SimFaults, AForcedFaultTakesTheFirstMatchingRequestOnce) {
  ForcedFault lost, lateNoise;
  ASSERT_TRUE(parseForcedFault("no-reply:read 4 bytes at 0:003101", &lost));
  ASSERT_TRUE(parseForcedFault("late-noise:status byte", &lateNoise));
  ForcedFault ignored;
  EXPECT_FALSE(parseForcedFault("loud:status byte", &ignored));
  EXPECT_FALSE(parseForcedFault("late:", &ignored));
  EXPECT_FALSE(parseForcedFault("late", &ignored));

  SessionSettings s = SimUnderTest::quickSession();
  s.forced = {lost, lateNoise};
  s.faults.lateMs = 20;
  SimUnderTest sim(variant(1), {}, s);
  EXPECT_EQ(sim.send(readRequest(1, 0, 0x3100, 1)).size(), 2u);   // matches neither
  EXPECT_TRUE(sim.send(readRequest(1, 0, 0x3101, 4)).empty());
  EXPECT_EQ(sim.send(readRequest(1, 0, 0x3101, 4)).size(), 5u);   // used up

  // Noise that follows the reply by --late-ms, after the reply itself.
  Bytes request = readRequest(1, 2, 0x24, 1);
  sim.session.received(request.data(), request.size(), sim.now);
  EXPECT_EQ(sim.session.due(sim.now + 19000).size(), 2u);
  EXPECT_GE(sim.session.due(sim.now + 20000).size(), 1u);
  EXPECT_EQ(sim.send(request).size(), 2u);
}

TEST(SimFaults, SameSeedGivesTheSameFaults) {
  auto run = [](uint32_t seed) {
    SessionSettings s = SimUnderTest::quickSession();
    s.faults.noReply = 0.3;
    s.faults.truncate = 0.3;
    s.seed = seed;
    SimUnderTest sim(variant(1), {}, s);
    Bytes all;
    for (int i = 0; i < 40; ++i) all = all + sim.send(readRequest(1, 0, 0x3101, 4)) + Bytes{0xAA};
    return all;
  };
  EXPECT_EQ(run(7), run(7));
  EXPECT_NE(run(7), run(8));
}

TEST(SimPacing, RepliesTakeTheWireTimeOf4800Baud) {
  SessionSettings s = SimUnderTest::quickSession();
  s.pace = true;
  SimUnderTest sim(variant(1), {}, s);
  Bytes request = readRequest(1, 0, 0x3101, 3);  // 12 bytes in, 4 out
  sim.session.received(request.data(), request.size(), sim.now);
  int64_t requestDone = sim.now + 12 * kByteTimeUs;
  sim.session.tick(requestDone - 1);
  EXPECT_TRUE(sim.session.due(kNever - 1).empty());  // not all of it has arrived yet
  sim.session.tick(requestDone);
  EXPECT_TRUE(sim.session.due(requestDone).empty());
  EXPECT_EQ(sim.session.due(requestDone + kByteTimeUs).size(), 1u);
  EXPECT_EQ(sim.session.due(requestDone + 4 * kByteTimeUs - 1).size(), 2u);
  EXPECT_EQ(sim.session.due(requestDone + 4 * kByteTimeUs).size(), 1u);
}

}  // namespace

namespace {

TEST(SimWire, RandomBytesNeverUpsetItAndTheNextRequestIsAnswered) {
  SimUnderTest sim(layout::ControllerLayout{});
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    Bytes noise(1 + random() % 300);
    for (uint8_t& b : noise) {
      // Plenty of select-frame starts, so the decoder takes many false turns.
      uint32_t r = random();
      b = (r & 7) == 0 ? 0x60 : static_cast<uint8_t>(r >> 8);
    }
    sim.send(noise);
    sim.now += 1500000;  // past the gap limit: whatever was half-taken is dropped
    Bytes reply = sim.send(readRequest(1, 2, 0x24, 1));
    ASSERT_EQ(reply.size(), 2u) << "round " << round;
    EXPECT_EQ(reply[0], 0x81);
  }
}

}  // namespace
