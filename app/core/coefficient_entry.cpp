#include "app/core/coefficient_entry.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

bool IsPlainDecimal(const char* text) {
  const char* p = text;
  if (*p == '-') ++p;
  int digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p, ++digits;
  if (*p == '.') {
    ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p, ++digits;
  }
  return *p == '\0' && digits > 0;
}

EntryDecision DecideEntry(const char* text, bool edited, int variant, int32_t lastVolume) {
  if (std::strcmp(text, "???") == 0 || !edited || text[0] == '*') return {EntryAction::kSkip, 0};
  if (text[0] == '\0') return {EntryAction::kWrite, 0};
  if (std::strcmp(text, "...") == 0) {
    if (lastVolume == 0) return {EntryAction::kNoVolume, 0};
    // Variant 2 sends the text itself, and "..." is no number to send.
    if (variant == 2) return {EntryAction::kWrongValue, 0};
    return {EntryAction::kWrite, 100000.0L / lastVolume};
  }
  // The floating-point input's own reading: letters read as 0. The program
  // never changes LC_NUMERIC, so the point is the separator.
  const double value = std::strtod(text, nullptr);
  if (value == 0.0) return {EntryAction::kWrongValue, 0};
  // Written so that a NaN is skipped too.
  if (!(value >= 5.0 && value <= 20.0)) return {EntryAction::kSkip, 0};
  if (variant == 2 && !IsPlainDecimal(text)) return {EntryAction::kWrongValue, 0};
  return {EntryAction::kWrite, value};
}
