// Error codes the simulated controller leaves in byte 7 of its error record.
// The service tool knows 0x58, 0x5B and 0x5C; the others are the simulator's
// own, so a trace tells every refusal apart.
#pragma once
#include <cstdint>

namespace errcode {
constexpr uint8_t kNone = 0x00;
constexpr uint8_t kBodyChecksum = 0x50;     // write body checksum wrong
constexpr uint8_t kBadParameter = 0x51;     // value out of range, bad BCD, protected area
constexpr uint8_t kNozzleBusy = 0x52;       // preset while a fill is under way
constexpr uint8_t kNoSuchNozzle = 0x53;     // nozzle code beyond N
constexpr uint8_t kKeyOff = 0x58;           // configuration key off
constexpr uint8_t kFaultRefusal = 0x5A;     // refusal injected as a fault
constexpr uint8_t kWrongPassword = 0x5B;    // wrong password, or none entered yet
constexpr uint8_t kPasswordLocked = 0x5C;   // three wrong passwords
}  // namespace errcode
