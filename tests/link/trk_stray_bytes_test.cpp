// Bytes that belong to another exchange (noise, a late reply) are never taken
// as a write's acknowledgement or a nozzle command's answer.
#include "tests/link/trk_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Sends the write's header and steps it until its body is on the wire.
Bytes headerThenBody(PtyPair& pty, Trk& trk, const uint8_t* data, int size) {
  EXPECT_EQ(trk.writeBlock(0x1000, 0, data, size), kTrkPending);
  EXPECT_EQ(pty.receive(12, 2000).size(), 12u);
  return stepUntilSent(pty, [&] { return trk.writeBlock(0x1000, 0, data, size); },
                       static_cast<size_t>(size));
}

TEST_F(TrkTest, WriteAcknowledgementIsTheOneByteThatCameAfterTheBody) {
  const uint8_t data[3] = {0x12, 0x34, 0x56};
  // A refusal byte that comes while the body waits for its pause is dropped
  // before the body goes: the answer is the byte that follows the body.
  EXPECT_EQ(trk.writeBlock(0x1000, 0, data, 3), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0xFF});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 1; }));
  EXPECT_EQ(stepUntilSent(pty, [&] { return trk.writeBlock(0x1000, 0, data, 3); }, 3),
            withChecksum({0x34, 0x56}));
  pty.send({0x00});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x1000, 0, data, 3); }), kTrkDone);

  // An answer with more bytes behind it is a garbled line: not written.
  headerThenBody(pty, trk, data, 3);
  pty.send({0x00, 0xFF});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x1000, 0, data, 3); }), kTrkMalformedReply);
  EXPECT_EQ(trk.lastError, kErrorUnexpectedByte);
  EXPECT_EQ(trk.blockState, 0);
  EXPECT_EQ(PortAvailable(port), 0);

  // The controller's real answer may still follow: the next write lets the
  // line settle before its header goes.
  const auto start = Clock::now();
  EXPECT_EQ(stepUntilSent(pty, [&] { return trk.writeBlock(0x1000, 0, data, 3); }, 12).size(),
            12u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
}

// A byte behind the acknowledgement makes it a garbled answer, whether it
// follows one byte time later or a USB adapter hands it over in its next
// burst, up to 32 ms after the one that held the acknowledgement.
class ByteBehindTheAnswerTest : public TrkTest, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(Gaps, ByteBehindTheAnswerTest, ::testing::Values(2, 16, 32));

TEST_P(ByteBehindTheAnswerTest, IsSeen) {
  const uint8_t data[2] = {0x12, 0x34};
  headerThenBody(pty, trk, data, 2);
  pty.send({0x00});
  // Give the link time to see the first byte alone, then send the second.
  ASSERT_TRUE(waitUntil([&] {
    EXPECT_EQ(trk.writeBlock(0x1000, 0, data, 2), kTrkPending);
    return PortAvailable(port) == 1;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam()));
  pty.send({0x5A});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x1000, 0, data, 2); }), kTrkMalformedReply);
}

// On a line that does not echo, a reply that begins with the very bytes just
// sent is a reply all the same: held back while it might be an echo, then
// taken whole.
TEST_F(TrkTest, AReplyThatBeginsAsTheRequestDidIsNotDropped) {
  // A one-byte read whose reply is the select frame's first two bytes: the
  // data byte 0x60 and its checksum, the address the frame carries.
  trk.address = static_cast<uint8_t>(frameChecksum(Bytes{0x60}.data(), 1));
  ASSERT_NE(trk.address, 0);
  uint8_t got = 0;
  EXPECT_EQ(trk.readBlock(0x24, 2, 1, &got), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0x60, static_cast<uint8_t>(trk.address)});
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x24, 2, 1, &got); }), kTrkDone);
  EXPECT_EQ(got, 0x60);
  EXPECT_EQ(PortEchoes(port), 0);

  // A point-to-point one-byte write answered with the header's first two bytes.
  trk.address = 0;
  const uint8_t commit = 0x55;
  EXPECT_EQ(trk.writeBlock(0x88FFFF, 0, &commit, 1), kTrkPending);
  const Bytes header = pty.receive(8, 2000);
  ASSERT_EQ(header.size(), 8u);
  pty.send({header[0], header[1]});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x88FFFF, 0, &commit, 1); }), kTrkDone);
  EXPECT_EQ(PortEchoes(port), 0);
}

TEST_F(TrkTest, OneByteWriteOnAPointToPointLinkDropsWhatCameBeforeItsHeader) {
  trk.address = 0;
  pty.send({0x11});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 1; }));
  const uint8_t commit = 0x55;
  EXPECT_EQ(trk.writeBlock(0x88FFFF, 0, &commit, 1), kTrkPending);
  ASSERT_EQ(pty.receive(8, 2000).size(), 8u);
  pty.send({0x00});
  ASSERT_TRUE(waitUntil([&] { return PortAvailable(port) == 1; }));
  EXPECT_EQ(trk.writeBlock(0x88FFFF, 0, &commit, 1), kTrkPending);   // half its reply
  pty.send({0x55});
  EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x88FFFF, 0, &commit, 1); }), kTrkDone);
}

TEST_F(TrkTest, ALateCommandAnswerIsWaitedOutNotTakenByTheNextCommand) {
  NozzleCommand stop{0, 0, 15};
  EXPECT_EQ(trk.nozzleCommand(0, &stop), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &stop); }), kTrkNoReply);

  // The second stop goes out only once the line has settled; the first
  // one's answer, coming meanwhile, is dropped.
  const auto start = Clock::now();
  EXPECT_EQ(trk.nozzleCommand(0, &stop), kTrkPending);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(trk.nozzleCommand(0, &stop), kTrkPending);
  pty.send({0x00});
  EXPECT_EQ(stepUntilSent(pty, [&] { return trk.nozzleCommand(0, &stop); }, 12).size(), 12u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
  // The controller never answers the second: it is not done.
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &stop); }), kTrkNoReply);
  EXPECT_EQ(trk.lastError, kErrorNoAnswer);
}

TEST_F(TrkTest, ACommandAnswerWithAnotherByteBehindItIsNotTakenAsDone) {
  NozzleCommand fill{0, 10000, 1};
  EXPECT_EQ(trk.nozzleCommand(0, &fill), kTrkPending);
  ASSERT_EQ(pty.receive(12, 2000).size(), 12u);
  pty.send({0x00, 0xFF});   // a stray zero, then the controller's refusal
  EXPECT_EQ(pollStep([&] { return trk.nozzleCommand(0, &fill); }), kTrkFailed);
  EXPECT_EQ(trk.lastError, kErrorUnexpectedByte);
  EXPECT_EQ(trk.commandState, 0);
  EXPECT_EQ(PortAvailable(port), 0);
}

}  // namespace
