#pragma once
#include <cstdint>

// The decimal text [-]digits[(.|,)digits] as an integer scaled by
// 10^decimals: ParseFixed("10.05", 3) is 10050. Fraction digits beyond
// decimals are dropped without rounding; with decimals <= 0 the fraction is
// ignored. Bytes are not validated: the caller passes digits only. A null
// text is 0.
int32_t ParseFixed(const char* text, int8_t decimals);
