// Every wait of the link lasts at least the time it states, seen from the
// device's side of the line: the gaps are timed where the bytes arrive, not
// by the program that waits. Built for Windows too, where the peer is the pty
// peer service on the Linux side of Wine: a millisecond tick that followed
// the system's 10-16 ms clock steps ended such waits up to a step early.
#include <algorithm>

#include "tests/link/trk_fixture.h"

namespace {

// The tick counts whole milliseconds, and a wait armed late in one ends
// early in the last: 1 ms. On a busy machine the peer may see the byte that
// starts a wait a few milliseconds late, so the median of several rounds is
// judged, with 2 ms more. A clock that advances in 10-16 ms steps ends half
// its waits more than that early.
constexpr double kSlackMs = 3;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

using TimingTest = TrkTest;

// Calls a link step about every millisecond for ms, as the procedures do.
template <typename Step>
void keepStepping(Step step, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    step();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A long write leaves its body 50 ms after its header.
TEST_F(TimingTest, LongWriteBodyFollowsItsHeaderByFiftyMs) {
  const uint8_t data[3] = {0x12, 0x34, 0x56};
  std::vector<double> gaps;
  for (int round = 0; round < 7; ++round) {
    SCOPED_TRACE(round);
    pty.watch(12 + 3, 3000);
    keepStepping([&] { EXPECT_EQ(trk.writeBlock(0x4001, 0, data, 3), kTrkPending); }, 120);
    const std::vector<PtyPair::Arrival> wire = pty.watched();
    ASSERT_EQ(wire.size(), 15u) << "header and body";
    EXPECT_EQ(wire[12].byte, 0x34);
    gaps.push_back(wire[12].ms - wire[11].ms);
    pty.send({0x00});
    EXPECT_EQ(pollStep([&] { return trk.writeBlock(0x4001, 0, data, 3); }), kTrkDone);
  }
  EXPECT_GE(median(gaps), 50 - kSlackMs) << "the body came too soon after the header";
}

// A status poll nobody answers gives up after 55 ms times the time-out
// factor (4 here), and only then can the next poll go out.
TEST_F(TimingTest, UnansweredStatusPollWaitsItsWholeTimeOut) {
  constexpr int kPolls = 5;
  // Each poll starts a different few milliseconds after the last gave up,
  // so a stepping clock cannot meet every one at the start of a step. The
  // pause is taken out of the gap again.
  auto pauseMs = [](int i) { return i == 0 ? 0 : 8 + 2 * i; };
  pty.watch(4 * kPolls, 5000);
  for (int i = 0; i < kPolls; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(i)));
    EXPECT_EQ(trk.readNozzleStatus(0, nullptr), kTrkFailed);
  }
  const std::vector<PtyPair::Arrival> wire = pty.watched();
  ASSERT_EQ(wire.size(), 4u * kPolls);
  std::vector<double> gaps;
  for (int i = 1; i < kPolls; ++i) {
    EXPECT_EQ(wire[4 * i].byte, 0x60);
    gaps.push_back(wire[4 * i].ms - wire[4 * i - 1].ms - pauseMs(i));
  }
  EXPECT_GE(median(gaps), 220 - kSlackMs) << "the poll gave up too soon";
}

}  // namespace
