// Quicksort over a sequence the caller exposes through three callbacks, so
// that any list (names, records, parallel arrays) can be sorted in place
// without handing the sort its element type.
#pragma once
#include <cstdint>

// Copies the element at pos into the caller's pivot.
typedef void (*SortSetPivotFn)(int32_t pos);
// Compares the element at pos with the pivot: negative, zero or positive.
typedef int (*SortCompareFn)(int32_t pos);
// Exchanges the elements at two positions.
typedef void (*SortExchangeFn)(int32_t a, int32_t b);

// Sets the callbacks the next SortRange calls use.
void SortSetCallbacks(SortSetPivotFn setPivot, SortCompareFn compareWithPivot,
                      SortExchangeFn exchange);

// Sorts positions low .. high (inclusive) ascending. Does nothing while any
// callback is unset. Not reentrant: the callbacks are program-wide.
void SortRange(int32_t low, int32_t high);
