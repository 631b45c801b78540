#include "util/format_conversions.h"

#include <cstring>

namespace {

constexpr int kSignatureSize = 32;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Finds the next conversion at or after p and writes into sig the part that
// decides which argument it reads and how: the position ("2$"), every '*'
// (with its own position), the length modifier and the letter. Returns the
// text after the conversion, or nullptr when there is none left. Works in
// place: the catalog's lookup calls it and must not allocate.
const char* NextConversion(const char* p, char* sig) {
  int n = 0;
  auto put = [&](char c) {
    if (n < kSignatureSize - 1) sig[n++] = c;
  };
  for (; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    const char* q = p;
    while (IsDigit(*q)) ++q;
    if (q != p && *q == '$') {
      while (p <= q) put(*p++);
    }
    while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) ++p;
    for (int part = 0; part < 2; ++part) {   // width, then precision
      if (part == 1) {
        if (*p != '.') break;
        ++p;
      }
      if (*p == '*') {
        put(*p++);
        while (IsDigit(*p)) put(*p++);
        if (*p == '$') put(*p++);
      } else {
        while (IsDigit(*p)) ++p;
      }
    }
    while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) put(*p++);
    // A conversion cut off by the end of the text still counts, as '?'.
    put(*p != '\0' ? *p : '?');
    sig[n] = '\0';
    return *p != '\0' ? p + 1 : p;
  }
  return nullptr;
}

}  // namespace

bool SameFormatConversions(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  char sigA[kSignatureSize];
  char sigB[kSignatureSize];
  for (;;) {
    a = NextConversion(a, sigA);
    b = NextConversion(b, sigB);
    if (a == nullptr || b == nullptr) return a == b;
    if (std::strcmp(sigA, sigB) != 0) return false;
  }
}
