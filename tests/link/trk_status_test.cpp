// Status polls and the merge of their replies into the nozzle table.
#include "tests/link/trk_fixture.h"

namespace {

class TrkStatusTest : public TrkTest {
 protected:
  // One poll of nozzle 0 answered with reply, collected step by step.
  int pollNozzle0(Trk& link, const Bytes& reply) {
    link.requestStatus(0);
    EXPECT_EQ(pty.receive(4, 2000), selectFrame(0x81));
    pty.send(reply);
    return pollStep([&] { return link.collectStatus(0); });
  }
  int merge(const Bytes& records) {
    return trk.mergeStatus(records.data(), static_cast<int>(records.size() / 8), trk.address);
  }
};

TEST_F(TrkStatusTest, RecordIsMergedIntoItsNozzleRow) {
  EXPECT_EQ(pollNozzle0(trk, statusRecord(0x01, 0x82, 0x11, 0x00, 0x00, 0x00, 0x25)), 1);
  const NozzleRecord& row = NozzleTable[0];
  EXPECT_EQ(row.flags, 0x82);
  EXPECT_EQ(row.status, 0x11);
  EXPECT_EQ(row.state, 0x25);
  EXPECT_EQ(row.holdCount, 2);
  EXPECT_EQ(row.changed, 0x03);

  // All nozzles: 0x8F and one record per nozzle of the side.
  trk.requestStatus(255);
  EXPECT_EQ(trk.statusLength, 32);
  EXPECT_EQ(pty.receive(4, 2000), selectFrame(0x8F));
  Bytes reply;
  for (uint8_t code = 1; code <= 4; ++code) {
    Bytes record = statusRecord(code, 0x02, code, 0x00, 0x00, 0x00, 0x10 + code);
    reply.insert(reply.end(), record.begin(), record.end());
  }
  pty.send(reply);
  EXPECT_EQ(pollStep([&] { return trk.collectStatus(0); }), kTrkDone);
  for (int n = 0; n < 4; ++n) EXPECT_EQ(NozzleTable[n].state, 0x11 + n) << "nozzle " << n;
}

TEST_F(TrkStatusTest, BadRecordStopsTheMergeThere) {
  Bytes reply = statusRecord(0x01, 0x02, 0, 0x00, 0x00, 0x00, 0x31);
  Bytes second = statusRecord(0x02, 0x02, 0, 0x00, 0x00, 0x00, 0x32);
  second[7] ^= 0xFF;
  Bytes third = statusRecord(0x03, 0x02, 0, 0x00, 0x00, 0x00, 0x33);
  reply.insert(reply.end(), second.begin(), second.end());
  reply.insert(reply.end(), third.begin(), third.end());
  EXPECT_EQ(merge(reply), -1);
  EXPECT_EQ(NozzleTable[0].state, 0x31);
  EXPECT_EQ(NozzleTable[1].state, 0);
  EXPECT_EQ(NozzleTable[2].state, 0);

  EXPECT_EQ(merge(statusRecord(0x09, 0x02, 0, 0x00, 0x00, 0x00, 0x31)), -1);  // no such code
}

TEST_F(TrkStatusTest, RecordsThatDoNotBelongHereAreSkipped) {
  EXPECT_EQ(merge(statusRecord(0x01, 0x80, 0, 0x00, 0x00, 0x00, 0x31)), 1);  // bit 1 clear
  EXPECT_EQ(merge(statusRecord(0x06, 0x02, 0, 0x00, 0x00, 0x00, 0x31)), 1);  // not on this side
  EXPECT_EQ(trk.mergeStatus(statusRecord(0x01, 0x02, 0, 0, 0, 0, 0x31).data(), 1, 7), kTrkDone);
  for (const NozzleRecord& row : NozzleTable) EXPECT_EQ(row.changed, 0);

  // A controller serving two sides: the second side's link gets its records.
  Trk other(1, 1, 0, 1, 0);
  ConfigureApplicationLink(other);
  other.firstPosition = 4;
  linkTable[1] = &other;
  trk.sideCount = 2;
  EXPECT_EQ(merge(statusRecord(0x06, 0x02, 0, 0x00, 0x00, 0x00, 0x31)), 1);
  EXPECT_EQ(NozzleTable[8 + 1].state, 0x31);
}

TEST_F(TrkStatusTest, SuddenAmountIsTakenOnEveryThirdReply) {
  const Bytes fiveLitres = statusRecord(0x01, 0x02, 0, 0x00, 0x05, 0x00, 0x25);  // 500 x 10 ml
  std::vector<int> amounts;
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(merge(fiveLitres), 1);
    amounts.push_back(NozzleTable[0].amount);
    NozzleTable[0].amount = 0;  // so that every taken reply shows
  }
  EXPECT_EQ(amounts, (std::vector<int>{5000, 0, 0, 5000, 0, 0, 5000}));

  // An amount of 0 is always plausible.
  const Bytes empty = statusRecord(0x01, 0x02, 0, 0x00, 0x00, 0x00, 0x10);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(merge(empty), 1);
    EXPECT_EQ(NozzleTable[0].state, 0x10);
    NozzleTable[0].state = 0;
  }
}

TEST_F(TrkStatusTest, OtherControllerTypesMaskSubStates) {
  trk.type = 17;
  EXPECT_EQ(merge(statusRecord(0x01, 0x02, 0, 0x00, 0x00, 0x00, 0x37)), 1);
  EXPECT_EQ(NozzleTable[0].state, 0x30);
  NozzleTable[0].holdCount = 0;
  EXPECT_EQ(merge(statusRecord(0x01, 0x02, 0, 0x00, 0x01, 0x00, 0x3A)), 1);
  EXPECT_EQ(NozzleTable[0].amount, 1000);
  NozzleTable[0].holdCount = 0;
  EXPECT_EQ(merge(statusRecord(0x01, 0x02, 0, 0x00, 0x01, 0x00, 0x2B)), 1);
  EXPECT_EQ(NozzleTable[0].state, 0x20);
  EXPECT_EQ(NozzleTable[0].amount, 0);
  NozzleTable[0].holdCount = 0;
  EXPECT_EQ(merge(statusRecord(0x01, 0x02, 0, 0x00, 0x01, 0x00, 0x41)), 1);
  EXPECT_EQ(NozzleTable[0].state, 0x41);

  // Type 18 keeps the state byte whole.
  trk.type = 18;
  NozzleTable[0].holdCount = 0;
  EXPECT_EQ(merge(statusRecord(0x01, 0x02, 0, 0x00, 0x01, 0x00, 0x2B)), 1);
  EXPECT_EQ(NozzleTable[0].state, 0x2B);
  EXPECT_EQ(NozzleTable[0].amount, 1000);
}

// A few garbled amounts in a row are counted; past the tolerance the count
// starts again.
TEST_F(TrkStatusTest, GarbledAmountsCountUpThenStartAgain) {
  const Bytes garbled = statusRecord(0x02, 0x02, 0, 0x00, 0x1A, 0x00, 0x10);
  std::vector<int> counts;
  for (int i = 0; i < 7; ++i) {
    trk.requestStatus(1);
    EXPECT_EQ(pty.receive(4, 2000), selectFrame(0x82));
    pty.send(garbled);
    EXPECT_EQ(pollStep([&] { return trk.collectStatus(0); }), kTrkMalformedReply);
    counts.push_back(trk.statusErrors);
  }
  EXPECT_EQ(counts, (std::vector<int>{1, 2, 3, 4, 5, 6, 0}));
}

TEST_F(TrkStatusTest, ReadNozzleStatusClearsTheCountAfterEveryPoll) {
  // The answering thread must be scheduled within the time-out even on a
  // loaded machine; the count does not depend on its length.
  trk.statusTimeoutFactor = 20;
  auto answer = [&](Bytes reply) {
    return std::thread([this, reply] {
      if (pty.receive(4, 2000).size() == 4) pty.send(reply);
    });
  };
  NozzleRecord out{};
  for (int i = 0; i < 7; ++i) {
    std::thread peer = answer(statusRecord(0x01, 0x02, 0, 0xA0, 0x00, 0x00, 0x10));
    EXPECT_EQ(trk.readNozzleStatus(0, &out), kTrkFailed);
    peer.join();
    EXPECT_EQ(trk.linkState, kLinkMalformed);
    EXPECT_EQ(trk.statusErrors, 0);
  }

  std::thread peer = answer(statusRecord(0x01, 0x02, 0x44, 0x00, 0x00, 0x00, 0x10));
  EXPECT_EQ(trk.readNozzleStatus(0, &out), kTrkDone);
  peer.join();
  EXPECT_EQ(trk.linkState, kLinkUp);
  EXPECT_EQ(out.status, 0x44);

  Bytes corrupt = statusRecord(0x01, 0x02, 0, 0x00, 0x00, 0x00, 0x10);
  corrupt[7] ^= 0x01;
  peer = answer(corrupt);
  EXPECT_EQ(trk.readNozzleStatus(0, &out), kTrkFailed);
  peer.join();
  EXPECT_EQ(trk.linkState, 0);
}

// A reply whose bytes come in two pieces, the second well after the first,
// is taken whole as soon as its last byte is in, long before the time-out.
TEST_F(TrkStatusTest, ReplyInTwoPiecesIsTakenWholeWhenItsLastByteArrives) {
  trk.statusTimeoutFactor = 20;  // 1100 ms
  const Bytes reply = statusRecord(0x01, 0x02, 0x55, 0x00, 0x12, 0x34, 0x30);
  std::thread peer([&] {
    if (pty.receive(4, 2000).size() != 4) return;
    pty.send(Bytes(reply.begin(), reply.begin() + 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.send(Bytes(reply.begin() + 3, reply.end()));
  });
  const auto start = std::chrono::steady_clock::now();
  NozzleRecord out{};
  EXPECT_EQ(trk.readNozzleStatus(0, &out), 1);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start).count();
  peer.join();
  EXPECT_EQ(out.status, 0x55);
  EXPECT_EQ(out.amount, 12340);
  EXPECT_GE(took, 90);
  EXPECT_LT(took, 700) << "the complete reply waited for the time-out";
}

TEST_F(TrkStatusTest, TimedOutPollDrainsAndKeepsLastError) {
  trk.lastError = 0x5B;
  trk.requestStatus(0);
  EXPECT_EQ(pty.receive(4, 2000), selectFrame(0x81));
  Bytes late = statusRecord(0x01, 0x02, 0x77, 0x00, 0x00, 0x00, 0x77);
  pty.send(Bytes(late.begin(), late.begin() + 3));
  EXPECT_EQ(pollStep([&] { return trk.collectStatus(0); }), kTrkNoReply);
  EXPECT_EQ(trk.lastError, 0x5B);
  EXPECT_EQ(PortAvailable(port), 0);
  EXPECT_EQ(NozzleTable[0].state, 0);

  // The rest of the late reply must not become part of the next one.
  pty.send(Bytes(late.begin() + 3, late.end()));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 5; }));
  uint8_t value[1] = {};
  EXPECT_EQ(trk.readBlock(0x3100, 0, 1, value), kTrkPending);
  EXPECT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send(withChecksum({0x3C}));
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, value); }), kTrkDone);
  EXPECT_EQ(value[0], 0x3C);
  EXPECT_EQ(PortAvailable(port), 0);

  // Through readNozzleStatus a silent controller reads as no answer.
  NozzleRecord out{};
  EXPECT_EQ(trk.readNozzleStatus(0, &out), kTrkFailed);
  EXPECT_EQ(trk.linkState, kLinkNoAnswer);
  EXPECT_EQ(trk.lastError, 0x5B);
}

}  // namespace
