// Calibration records and the coefficient recalculation behind Write. Pure
// functions over the record bytes, so every byte Write sends can be checked
// without a controller.
//
// Record of variants 0 and 1 (19 bytes, little-endian): K low 32 bits at 0-3,
// K high 8 bits at 4; K2 at 5-8 and 9; K2 - K (low 32 bits) at 10-13; reset
// divisor W at 14-15; calibration count at 17-18. K and K2 are 40-bit
// fixed-point numbers with 32 fraction bits. The short record of variant 2
// holds K at 0-3 and 11, and a 16-bit number at 12-13.
#pragma once
#include <cstdint>

// Coefficient values as shown in the nozzle inputs ("* %f").
double CoefficientValue(const uint8_t* record);
double ShortCoefficientValue(const uint8_t* shortRecord);

uint16_t ResetDivisor(const uint8_t* record);
uint16_t CalibrationCount(const uint8_t* record);
uint16_t ShortRecordNumber(const uint8_t* shortRecord);

enum class Recalculation {
  kDone,             // record rewritten, count advanced
  kNoResetDivisor,   // x = 0 asks for a reset but W is 0: record untouched
  kOutOfRange,       // the result does not fit the 40-bit fields: record untouched
};

// New coefficients for the entered value x (10 keeps K, 10.1 raises it by 1 %;
// 0 resets K to 100 / W), K2 keeping its ratio to K, the count + 1. All the
// arithmetic is in long double so that each rounding matches to the last bit.
Recalculation RecalculateCoefficients(uint8_t* record, long double x);
