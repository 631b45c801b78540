// Steps one link exchange to its end, for tests.
#pragma once
#include "link/trk.h"
#include "tests/support/wait_until.h"

// Calls a step as the operator procedures do (1 ms apart) until it returns
// something other than kTrkPending; kTrkPending when the deadline passes first.
template <typename Step>
int pollStep(Step step, int timeoutMs = 5000) {
  int result = kTrkPending;
  waitUntil([&] { return (result = step()) != kTrkPending; }, timeoutMs);
  return result;
}
