#include "util/sort_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

std::vector<int> data;
int pivot;
std::vector<std::pair<int32_t, int32_t>> exchanges;
int32_t rangeLow, rangeHigh;
bool outOfRange;

void CheckPosition(int32_t pos) {
  if (pos < rangeLow || pos > rangeHigh) outOfRange = true;
}
void SetPivot(int32_t pos) {
  CheckPosition(pos);
  pivot = data[pos];
}
int Compare(int32_t pos) {
  CheckPosition(pos);
  return data[pos] < pivot ? -1 : data[pos] > pivot ? 1 : 0;
}
void Exchange(int32_t a, int32_t b) {
  CheckPosition(a);
  CheckPosition(b);
  std::swap(data[a], data[b]);
  exchanges.emplace_back(a, b);
}

void Sort(std::vector<int> values, int32_t low, int32_t high) {
  data = std::move(values);
  exchanges.clear();
  rangeLow = low;
  rangeHigh = high;
  outOfRange = false;
  SortSetCallbacks(SetPivot, Compare, Exchange);
  SortRange(low, high);
}

TEST(SortRange, SortedDistinctElementsExchangeNothing) {
  Sort({1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 8);
  EXPECT_TRUE(exchanges.empty());
  EXPECT_TRUE(std::is_sorted(data.begin(), data.end()));
}

TEST(SortRange, EqualElementsMetFromBothSidesAreExchanged) {
  Sort({5, 5}, 0, 1);
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0], std::make_pair(0, 1));
}

TEST(SortRange, SortsAnyInputWithinItsRangeOnly) {
  std::mt19937 rng(7);
  for (int n = 2; n < 60; n++) {
    for (int round = 0; round < 5; round++) {
      std::vector<int> values(n + 2);
      // Few distinct values on some rounds, to meet many equal elements.
      int spread = round % 2 ? 3 : 1000;
      for (int& v : values) v = int(rng() % spread);
      std::vector<int> want = values;
      std::sort(want.begin() + 1, want.end() - 1);
      Sort(values, 1, n);  // the first and last element lie outside
      EXPECT_FALSE(outOfRange) << n;
      EXPECT_EQ(data, want) << n;
    }
  }
  Sort({9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 0, 9);
  EXPECT_EQ(data, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

}  // namespace
