// The bytes Write puts into a calibration record, and what it makes of each
// text an operator can type into a coefficient input.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/coefficient_entry.h"
#include "app/core/coefficient_math.h"

namespace {

struct Record {
  uint8_t b[19] = {};
};

// A record with K, K2 (40-bit), W and the count; D is K2 - K (low 32 bits).
Record MakeRecord(uint64_t k, uint64_t k2, uint16_t w, uint16_t count) {
  Record r;
  for (int i = 0; i < 4; ++i) r.b[i] = static_cast<uint8_t>(k >> (8 * i));
  r.b[4] = static_cast<uint8_t>(k >> 32);
  for (int i = 0; i < 4; ++i) r.b[5 + i] = static_cast<uint8_t>(k2 >> (8 * i));
  r.b[9] = static_cast<uint8_t>(k2 >> 32);
  const uint32_t d = static_cast<uint32_t>(k2) - static_cast<uint32_t>(k);
  for (int i = 0; i < 4; ++i) r.b[10 + i] = static_cast<uint8_t>(d >> (8 * i));
  r.b[14] = static_cast<uint8_t>(w);
  r.b[15] = static_cast<uint8_t>(w >> 8);
  r.b[16] = 0xA5;   // not ours: must survive
  r.b[17] = static_cast<uint8_t>(count);
  r.b[18] = static_cast<uint8_t>(count >> 8);
  return r;
}

uint64_t K(const Record& r) {
  uint64_t v = r.b[4];
  for (int i = 3; i >= 0; --i) v = v << 8 | r.b[i];
  return v;
}
uint64_t K2(const Record& r) {
  uint64_t v = r.b[9];
  for (int i = 3; i >= 0; --i) v = v << 8 | r.b[5 + i];
  return v;
}
uint32_t D(const Record& r) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | r.b[10 + i];
  return v;
}
uint16_t Count(const Record& r) { return static_cast<uint16_t>(r.b[17] | r.b[18] << 8); }

constexpr uint64_t kOne = uint64_t{1} << 32;   // coefficient 1.0

TEST(CoefficientRecalculation, TenKeepsTheCoefficientsAndCountsTheCalibration) {
  Record r = MakeRecord(kOne + 123456789, kOne + 987654321, 100, 41);
  const Record before = r;
  ASSERT_EQ(RecalculateCoefficients(r.b, 10.0L), Recalculation::kDone);
  EXPECT_EQ(0, std::memcmp(r.b, before.b, 17));
  EXPECT_EQ(Count(r), 42);
}

TEST(CoefficientRecalculation, TenPointOneRaisesKByOnePercentAndK2KeepsItsRatio) {
  // K = 1.0, K2 = 1.0625: K' = 1.01 x 2^32 = 4337916968.96, K2' = 1.0625 K'.
  Record r = MakeRecord(kOne, kOne + (kOne >> 4), 100, 0);
  ASSERT_EQ(RecalculateCoefficients(r.b, 10.1), Recalculation::kDone);
  EXPECT_EQ(K(r), 4337916969u);
  EXPECT_EQ(K2(r), 4609036780u);
  // The 40-bit split: low 32 bits and the high byte of each.
  const std::vector<uint8_t> expected = {0x29, 0x5C, 0x8F, 0x02, 0x01,   // K
                                         0xEC, 0x51, 0xB8, 0x12, 0x01,   // K2
                                         0xC3, 0xF5, 0x28, 0x10};        // K2 - K
  EXPECT_EQ(std::vector<uint8_t>(r.b, r.b + 14), expected);
  EXPECT_EQ(r.b[16], 0xA5);
  EXPECT_EQ(Count(r), 1);
}

TEST(CoefficientRecalculation, DifferenceIsTakenModulo2To32AcrossTheHighByte) {
  // K just below 2^32, K2 just above: K2's low bits are below K's.
  Record r = MakeRecord(0xFFFFFFF0u, 0x100000010u, 100, 7);
  ASSERT_EQ(RecalculateCoefficients(r.b, 10.0L), Recalculation::kDone);
  EXPECT_EQ(K(r), 0xFFFFFFF0u);
  EXPECT_EQ(K2(r), 0x100000010u);
  EXPECT_EQ(r.b[4], 0x00);
  EXPECT_EQ(r.b[9], 0x01);
  EXPECT_EQ(D(r), 0x20u);
}

TEST(CoefficientRecalculation, ZeroDifferenceMakesK2EqualToTheNewK) {
  Record r = MakeRecord(kOne + 777, kOne + 777, 100, 0);
  ASSERT_EQ(RecalculateCoefficients(r.b, 12.345L), Recalculation::kDone);
  EXPECT_EQ(K2(r), K(r));
  EXPECT_EQ(D(r), 0u);
  EXPECT_NE(K(r), kOne + 777);
}

TEST(CoefficientRecalculation, EmptyEntryResetsFromTheResetDivisor) {
  // 100 x 2^32 / W: W = 100 gives exactly 1.0; W = 3 gives 143165576533.33.
  Record r = MakeRecord(3 * kOne, 3 * kOne + 5000, 100, 9);
  ASSERT_EQ(RecalculateCoefficients(r.b, 0.0L), Recalculation::kDone);
  EXPECT_EQ(K(r), kOne);
  Record s = MakeRecord(kOne, kOne, 3, 9);
  ASSERT_EQ(RecalculateCoefficients(s.b, 0.0L), Recalculation::kDone);
  EXPECT_EQ(K(s), 0x2155555555u);
  EXPECT_EQ(K2(s), 0x2155555555u);
  EXPECT_EQ(Count(s), 10);
}

TEST(CoefficientRecalculation, ResetWithoutResetDivisorLeavesTheRecordAlone) {
  Record r = MakeRecord(kOne, kOne + 99, 0, 9);
  const Record before = r;
  EXPECT_EQ(RecalculateCoefficients(r.b, 0.0L), Recalculation::kNoResetDivisor);
  EXPECT_EQ(0, std::memcmp(r.b, before.b, 19));
}

TEST(CoefficientRecalculation, ResultsBeyondFortyBitsOrUndefinedAreRefused) {
  Record big = MakeRecord(uint64_t{1} << 39, uint64_t{1} << 39, 100, 0);
  const Record bigBefore = big;
  EXPECT_EQ(RecalculateCoefficients(big.b, 20.0L), Recalculation::kOutOfRange);
  EXPECT_EQ(0, std::memcmp(big.b, bigBefore.b, 19));
  // K = 0 with K2 - K non-zero: the ratio K2 / K does not exist.
  Record zero = MakeRecord(0, 5, 100, 0);
  EXPECT_EQ(RecalculateCoefficients(zero.b, 10.0L), Recalculation::kOutOfRange);
}

TEST(CoefficientRecalculation, CountWrapsAtSixteenBits) {
  Record r = MakeRecord(kOne, kOne, 100, 65535);
  ASSERT_EQ(RecalculateCoefficients(r.b, 10.0L), Recalculation::kDone);
  EXPECT_EQ(Count(r), 0);
}

TEST(CoefficientRecalculation, RoundsInExtendedPrecision) {
  // 10.1 read as a double lies just below 10.1, so K x 1.01 falls just below
  // ...786.5 and rounds down; double arithmetic reaches .5 and rounds up.
  Record r = MakeRecord(84232013650u, 84232013650u, 100, 0);
  ASSERT_EQ(RecalculateCoefficients(r.b, 10.1), Recalculation::kDone);
  EXPECT_EQ(K(r), 85074333786u);
  Record s = MakeRecord(905935971350u, 905935971350u, 100, 0);
  ASSERT_EQ(RecalculateCoefficients(s.b, 10.1), Recalculation::kDone);
  EXPECT_EQ(K(s), 914995331063u);
}

TEST(CoefficientValue, FortyBitFixedPointWithThirtyTwoFractionBits) {
  Record r = MakeRecord(kOne + (kOne >> 1), 0, 0, 0);
  EXPECT_DOUBLE_EQ(CoefficientValue(r.b), 1.5);
  uint8_t shortRecord[15] = {};
  shortRecord[3] = 0x40;    // 0.25
  shortRecord[11] = 0x02;   // + 2
  shortRecord[12] = 0x34;
  shortRecord[13] = 0x12;
  EXPECT_DOUBLE_EQ(ShortCoefficientValue(shortRecord), 2.25);
  EXPECT_EQ(ShortRecordNumber(shortRecord), 0x1234);
}

// ---- The entry decision -------------------------------------------------

EntryAction Action(const char* text, int variant = 0, bool edited = true, int32_t volume = 0) {
  return DecideEntry(text, edited, variant, volume).action;
}

TEST(CoefficientEntry, UntouchedUnreadAndStarredInputsAreSkipped) {
  EXPECT_EQ(Action("10.1", 0, false), EntryAction::kSkip);
  EXPECT_EQ(Action("???"), EntryAction::kSkip);
  EXPECT_EQ(Action("* 1.000000"), EntryAction::kSkip);
  EXPECT_EQ(Action("*10"), EntryAction::kSkip);
}

TEST(CoefficientEntry, EmptyTextAsksForAReset) {
  for (int variant : {0, 1, 2}) {
    const EntryDecision d = DecideEntry("", true, variant, 0);
    EXPECT_EQ(d.action, EntryAction::kWrite);
    EXPECT_EQ(d.x, 0.0L);
  }
}

TEST(CoefficientEntry, DotsScaleByTheLastTestFill) {
  EXPECT_EQ(Action("...", 0, true, 0), EntryAction::kNoVolume);
  EXPECT_EQ(Action("...", 2, true, 0), EntryAction::kNoVolume);
  EntryDecision d = DecideEntry("...", true, 1, 10000);
  EXPECT_EQ(d.action, EntryAction::kWrite);
  EXPECT_EQ(d.x, 10.0L);
  d = DecideEntry("...", true, 0, 9900);
  EXPECT_EQ(d.x, 100000.0L / 9900);
  // Variant 2 sends the text itself, and "..." is no number.
  EXPECT_EQ(Action("...", 2, true, 10000), EntryAction::kWrongValue);
}

TEST(CoefficientEntry, NumbersFromFiveToTwentyInclusiveAreWritten) {
  for (const char* text : {"5.0", "5", "20.0", "20", "10.1", "19.999"}) {
    EXPECT_EQ(Action(text), EntryAction::kWrite) << text;
    EXPECT_EQ(Action(text, 2), EntryAction::kWrite) << text;
  }
  EXPECT_EQ(DecideEntry("10.1", true, 0, 0).x, static_cast<long double>(10.1));
  for (const char* text : {"4.99", "20.01", "-10", "1e3", "100"}) {
    EXPECT_EQ(Action(text), EntryAction::kSkip) << text;
  }
}

TEST(CoefficientEntry, TextsReadingAsZeroAreWrong) {
  for (const char* text : {"abc", "0", "0.0", ".", "-", "e5"}) {
    EXPECT_EQ(Action(text), EntryAction::kWrongValue) << text;
  }
}

TEST(CoefficientEntry, VariantTwoRefusesTextsTheFixedPointReaderMisreads) {
  // Each reads as 10 as a floating-point number; the fixed-point reader of
  // variant 2 would send 631000, 9985, 10500 or garbage for them.
  for (const char* text : {"1e1", "10.0.5", "10,5", "+10", "10e0"}) {
    EXPECT_EQ(Action(text, 0), EntryAction::kWrite) << text;
    EXPECT_EQ(Action(text, 2), EntryAction::kWrongValue) << text;
  }
}

TEST(CoefficientEntry, PlainDecimalIsWhatTheFixedPointReaderReadsRight) {
  for (const char* text : {"10", "-1.5", "10.", ".5", "7.125"}) {
    EXPECT_TRUE(IsPlainDecimal(text)) << text;
  }
  for (const char* text : {"", "-", ".", "1e1", "1.0.5", "1,5", " 10", "10 "}) {
    EXPECT_FALSE(IsPlainDecimal(text)) << text;
  }
}

}  // namespace
