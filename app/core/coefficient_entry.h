// What Write makes of one nozzle's coefficient input: skip it, refuse it with a
// message, or write it with the value x. Pure, so every text an operator can
// type is checked without a window.
#pragma once
#include <cstdint>

enum class EntryAction {
  kSkip,         // not edited, still as Read filled it, or out of 5.0-20.0: no message
  kNoVolume,     // "..." without a test-fill volume: "Error!"
  kWrongValue,   // not a usable number: "Wrong value entered"
  kWrite,        // write with x (0 = reset the coefficient)
};

struct EntryDecision {
  EntryAction action;
  long double x;
};

// text: the input's text; edited: its edited flag; variant: the controller's;
// lastVolume: the nozzle's last test-fill volume in millilitres.
EntryDecision DecideEntry(const char* text, bool edited, int variant, int32_t lastVolume);

// 1 when ParseFixed reads text as the number it is: an optional '-', digits,
// and at most one '.' and more digits. Variant 2 sends the text through
// ParseFixed, which takes every other byte as a digit.
bool IsPlainDecimal(const char* text);
