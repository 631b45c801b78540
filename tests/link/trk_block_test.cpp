// Memory reads and writes, the error record and the totaliser against a
// scripted controller on a pty.
#include "tests/link/trk_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST_F(TrkTest, ReadSendsSelectAndHeaderAndWaitsForCountPlusChecksum) {
  uint8_t status[1] = {};
  EXPECT_EQ(trk.readBlock(0x3100, 0, 1, status), kTrkPending);
  expectWire({0x60, 0x01, 0x48, 0x68, 0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB});
  pty.send(withChecksum({0x42}));
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, status); }), kTrkDone);
  EXPECT_EQ(status[0], 0x42);
  EXPECT_EQ(PortAvailable(port), 0);  // the trailing checksum was taken too

  // Bank 2 rides in the function byte; the data alone is not yet a reply.
  uint8_t block[3] = {};
  EXPECT_EQ(trk.readBlock(41, 2, 3, block), kTrkPending);
  Bytes header = withChecksum({0x00, 0x00, 0x00, 0x00, 41, 0x00, 3});
  Bytes wire = selectFrame(0x4A);
  wire.insert(wire.end(), header.begin(), header.end());
  expectWire(wire);
  pty.send({1, 2, 3});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 3; }));
  EXPECT_EQ(trk.readBlock(41, 2, 3, block), kTrkPending);
  pty.send({withChecksum({1, 2, 3})[3]});
  EXPECT_EQ(pollStep([&] { return trk.readBlock(41, 2, 3, block); }), kTrkDone);
  EXPECT_EQ(Bytes(block, block + 3), (Bytes{1, 2, 3}));
}

// Two bytes of an earlier reply that reached the line after this request
// cleared the input: the reply taken is shifted, and its checksum says so.
TEST_F(TrkTest, ReadReplyWhoseChecksumDoesNotMatchIsMalformed) {
  uint8_t record[4] = {};
  EXPECT_EQ(trk.readBlock(0x1000, 0, 4, record), kTrkPending);
  pty.drain(30);
  Bytes reply = withChecksum({0x10, 0x20, 0x30, 0x40});
  Bytes shifted = {0x26, 0x32};
  shifted.insert(shifted.end(), reply.begin(), reply.end());
  pty.send(shifted);
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x1000, 0, 4, record); }), kTrkMalformedReply);
  EXPECT_EQ(trk.blockState, 0);

  // The line was shifted: the next read first lets it settle, dropping what
  // still comes, and only then sends its request.
  const auto start = std::chrono::steady_clock::now();
  pty.send({0x99, 0x98});
  Bytes request;
  while (request.size() < 12 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    ASSERT_EQ(trk.readBlock(0x1000, 0, 4, record), kTrkPending);
    Bytes got = pty.receive(12 - request.size(), 5);
    request.insert(request.end(), got.begin(), got.end());
  }
  ASSERT_EQ(request.size(), 12u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  pty.send(reply);
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x1000, 0, 4, record); }), kTrkDone);
  EXPECT_EQ(Bytes(record, record + 4), (Bytes{0x10, 0x20, 0x30, 0x40}));
}

TEST_F(TrkTest, CommitIsOneByteWriteAnsweredByTwoBytes) {
  const uint8_t commit = 0x55;
  EXPECT_EQ(trk.writeBlock(0x88FFFF, 0, &commit, 1), kTrkPending);
  expectWire({0x60, 0x01, 0x40, 0x78, 0x01, 0x00, 0xFF, 0x88, 0xFF, 0x55, 0x01, 0xA0});
  pty.send({0xFF});  // not examined: even a refusal byte is just half the reply
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 1; }));
  EXPECT_EQ(trk.writeBlock(0x88FFFF, 0, &commit, 1), kTrkPending);
  pty.send({0xFF});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x88FFFF, 0, &commit, 1); }), kTrkDone);
}

TEST_F(TrkTest, LongWriteSendsBodyAfterPauseAndTakesOneReplyByte) {
  const uint8_t data[3] = {0x12, 0x34, 0x56};
  auto start = Clock::now();
  EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 3), kTrkPending);
  Bytes wire = selectFrame(0x40);
  Bytes header = withChecksum({0x01, 0x00, 0x40, 0x00, 0x01, 0x12, 3});
  wire.insert(wire.end(), header.begin(), header.end());
  EXPECT_EQ(pty.receive(wire.size(), 2000), wire);

  // The body leaves only on a later step, at least 50 ms after the header.
  Bytes body;
  long bodyAfterMs = -1;
  ASSERT_TRUE(waitUntil([&] {
    EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 3), kTrkPending);
    Bytes got = pty.drain(0);
    body.insert(body.end(), got.begin(), got.end());
    if (!body.empty() && bodyAfterMs < 0) bodyAfterMs = msSince(start);
    return body.size() >= 3;
  }));
  EXPECT_GE(bodyAfterMs, 30);  // 50 ms less what the tick may lag behind
  EXPECT_EQ(body, withChecksum({0x34, 0x56}));

  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x4001, 0, data, 3); }), kTrkDone);

  // The same write refused.
  trk.lastError = 0;
  EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 2), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  body.clear();
  ASSERT_TRUE(waitUntil([&] {
    EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 2), kTrkPending);
    Bytes got = pty.drain(0);
    body.insert(body.end(), got.begin(), got.end());
    return body.size() >= 2;
  }));
  EXPECT_EQ(body, withChecksum({0x34}));
  pty.send({0xFF});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x4001, 0, data, 2); }), kTrkRefused);
  EXPECT_EQ(trk.lastError, 0);
  EXPECT_EQ(trk.blockState, 0);
}

// A write meant for the connection a Read found: over another one nothing
// goes, not even the select frame; over its own it goes as any write.
TEST_F(TrkTest, AWriteHeldToAConnectionSendsNothingOverAnother) {
  const uint8_t data[3] = {0x12, 0x34, 0x56};
  trk.writeOnlyOver = PortConnection(port) + 1;
  EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 3), kTrkNoReply);
  EXPECT_EQ(pty.drain(50), Bytes{});
  EXPECT_EQ(trk.blockState, Trk::kBlockIdle);

  trk.writeOnlyOver = PortConnection(port);
  Bytes wire = selectFrame(0x40);
  Bytes header = withChecksum({0x01, 0x00, 0x40, 0x00, 0x01, 0x12, 3});
  wire.insert(wire.end(), header.begin(), header.end());
  EXPECT_EQ(stepUntilSent(pty, [&] { return trk.writeBlock(0x4001, 0, data, 3); }, wire.size()),
            wire);
}

TEST_F(TrkTest, BlockSizesTheHeaderCannotCarrySendNothing) {
  uint8_t buf[300] = {};
  EXPECT_EQ(trk.readBlock(0x3100, 0, 0, buf), kTrkFailed);
  EXPECT_EQ(trk.readBlock(0x3100, 0, 256, buf), kTrkFailed);
  EXPECT_EQ(trk.writeBlock(0x3100, 0, buf, 0), kTrkFailed);
  EXPECT_EQ(trk.writeBlock(0x3100, 0, buf, 256), kTrkFailed);
  EXPECT_EQ(pty.drain(20), Bytes{});
  EXPECT_EQ(trk.blockState, 0);
}

TEST_F(TrkTest, ErrorRecordRequestIsTheSelectFrameAlone) {
  EXPECT_EQ(trk.readErrorRecord(), kTrkPending);
  expectWire({0x60, 0x01, 0xF0, 0x19});
  Bytes record(16, 0x00);
  record[7] = 0x5C;
  record[12] = '$';
  pty.send(Bytes(record.begin(), record.begin() + 15));
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 15; }));
  EXPECT_EQ(trk.readErrorRecord(), kTrkPending);
  pty.send({record[15]});
  EXPECT_EQ(pollStep([&] { return trk.readErrorRecord(); }), kTrkDone);
  EXPECT_EQ(trk.lastError, 0x5C);
  EXPECT_EQ(Bytes(trk.errorRecord, trk.errorRecord + 16), record);
}

TEST_F(TrkTest, AddressZeroSendsOnlyWhatFollowsTheSelectFrame) {
  trk.address = 0;
  uint8_t status[1] = {};
  EXPECT_EQ(trk.readBlock(0x3100, 0, 1, status), kTrkPending);
  expectWire({0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0xDB});
  pty.send(withChecksum({0x07}));
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, status); }), kTrkDone);
  EXPECT_EQ(status[0], 0x07);

  trk.requestStatus(0);
  EXPECT_EQ(pty.drain(30), Bytes{});
}

TEST_F(TrkTest, ReadWithoutPortTimesOutAfterOneSecond) {
  trk.port = 0;
  trk.lastError = 0;
  uint8_t status[1] = {};
  auto start = Clock::now();
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, status); }), kTrkNoReply);
  // Bounds loose enough for a busy machine, tight enough to tell 1000 ms from
  // the other time-outs of the link.
  EXPECT_GE(msSince(start), 900);
  EXPECT_LT(msSince(start), 2500);
  EXPECT_EQ(trk.lastError, kErrorNoAnswer);
  EXPECT_EQ(trk.blockState, 0);
}

TEST_F(TrkTest, TotaliserReplyIsCheckedByItsLastByte) {
  trk.currentNozzle = 2;
  EXPECT_EQ(trk.readTotal(0, -1, 0), kTrkPending);
  expectWire(selectFrame(0x73));
  Bytes reply = withChecksum(Bytes(15, 0x11));
  pty.send(reply);
  EXPECT_EQ(pollStep([&] { return trk.readTotal(0, -1, 0); }), kTrkDone);

  EXPECT_EQ(trk.readTotal(0, 0, 0), kTrkPending);
  expectWire(selectFrame(0x71));
  reply[15] ^= 0x01;
  pty.send(reply);
  EXPECT_EQ(pollStep([&] { return trk.readTotal(0, 0, 0); }), kTrkMalformedReply);
  EXPECT_EQ(trk.blockState, 0);
}

}  // namespace
