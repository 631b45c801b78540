#include "util/sort_range.h"

static SortSetPivotFn setPivot;
static SortCompareFn compareWithPivot;
static SortExchangeFn exchange;

void SortSetCallbacks(SortSetPivotFn setPivotFn, SortCompareFn compareFn,
                      SortExchangeFn exchangeFn) {
  setPivot = setPivotFn;
  compareWithPivot = compareFn;
  exchange = exchangeFn;
}

// Hoare partition around the middle element. The pivot is a copy, so the
// exchanges cannot move it; it also stops both scans, which therefore never
// leave the range. The left part recurses, the right part loops.
static void SortPart(int32_t low, int32_t high) {
  while (low < high) {
    setPivot(int32_t((int64_t(low) + high) / 2));
    int32_t i = low;
    int32_t j = high;
    while (i <= j) {
      while (compareWithPivot(i) < 0) i++;
      while (compareWithPivot(j) > 0) j--;
      if (i <= j) {
        if (i != j) exchange(i, j);
        i++;
        j--;
      }
    }
    if (low < j) SortPart(low, j);
    if (i >= high) return;
    low = i;
  }
}

void SortRange(int32_t low, int32_t high) {
  if (!setPivot || !compareWithPivot || !exchange) return;
  SortPart(low, high);
}
