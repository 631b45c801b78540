// ParseFixed over any text and any count of decimals. Where the text is what
// the tool passes ([-]digits[(.|,)digits], small enough for 32 bits) the
// result must equal the decimal value scaled and cut, computed here in wide
// arithmetic; elsewhere it must merely not misbehave.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/parse_fixed.h"

namespace {

// The value of a well-formed text, or false when the text is not one or does
// not fit the check's arithmetic.
bool reference(const std::string& text, int decimals, int64_t* out) {
  if (decimals > 9) return false;
  size_t p = 0;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) p = 1;
  int64_t whole = 0, fraction = 0;
  int digits = 0, taken = 0;
  for (; p < text.size() && text[p] != '.' && text[p] != ','; ++p, ++digits) {
    if (text[p] < '0' || text[p] > '9' || digits >= 9) return false;
    whole = whole * 10 + (text[p] - '0');
  }
  if (p < text.size()) {
    for (++p; p < text.size(); ++p) {
      if (text[p] < '0' || text[p] > '9') return false;
      if (taken < decimals) {
        fraction = fraction * 10 + (text[p] - '0');
        ++taken;
      }
    }
  }
  if (decimals > 0) {
    for (; taken < decimals; ++taken) fraction *= 10;
    for (int k = 0; k < decimals; ++k) whole *= 10;
  } else {
    fraction = 0;
  }
  int64_t value = whole + fraction;
  if (value > INT32_MAX) return false;
  *out = negative ? -value : value;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int8_t decimals = static_cast<int8_t>(data[0]);
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  text = text.substr(0, text.find('\0'));
  const int32_t got = ParseFixed(text.c_str(), decimals);
  int64_t expected = 0;
  if (reference(text, decimals, &expected) && got != expected) {
    std::fprintf(stderr, "ParseFixed(\"%s\", %d) = %d, expected %lld\n", text.c_str(), decimals,
                 got, static_cast<long long>(expected));
    std::abort();
  }
  return 0;
}
