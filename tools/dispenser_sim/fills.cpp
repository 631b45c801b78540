#include "tools/dispenser_sim/fills.h"

#include "link/frame.h"
#include "tools/dispenser_sim/bcd.h"
#include "tools/dispenser_sim/error_codes.h"

// The largest amount a status record can carry: six BCD digits of tens of ml.
constexpr uint32_t kMaxAmountMl = 9999990;

uint8_t Fills::command(int group, int nozzle, uint8_t function, uint32_t valueMl, int64_t nowUs,
                       uint8_t* error) {
  NozzleFill& n = nozzles_[group][nozzle];
  switch (function) {
    case nozzlefn::kPreset:
      return preset(group, nozzle, valueMl, n.grade, nowUs, error);
    case nozzlefn::kClose:
      advance(nowUs);
      if (n.state == fillstate::kRunning) {
        n.state = fillstate::kStopped;
        n.endUs = nowUs;
      } else {
        n.state = fillstate::kIdle;
        n.waitingForLift = false;
      }
      return 0x00;
    case nozzlefn::kRemoteOn:
      n.remote = true;
      return 0x00;
    case nozzlefn::kRemoteOff:
      n.remote = false;
      return 0x00;
    default:
      return 0x01;  // a function this controller does not know
  }
}

uint8_t Fills::preset(int group, int nozzle, uint32_t valueMl, uint8_t grade, int64_t nowUs,
                      uint8_t* error) {
  advance(nowUs);
  NozzleFill& n = nozzles_[group][nozzle];
  if (n.state != fillstate::kIdle) {
    *error = errcode::kNozzleBusy;
    return 0xFF;
  }
  if (valueMl == 0 || valueMl > kMaxAmountMl) {
    *error = errcode::kBadParameter;
    return 0xFF;
  }
  n.waitingForLift = settings_.liftMs > 0;
  n.state = n.waitingForLift ? fillstate::kIdle : fillstate::kRunning;
  n.grade = grade;
  n.amountMl = 0;
  n.presetMl = valueMl;
  n.startUs = nowUs;
  return 0x00;
}

void Fills::advance(int64_t nowUs) {
  for (auto& group : nozzles_) {
    for (NozzleFill& n : group) {
      if (n.waitingForLift && nowUs - n.startUs >= settings_.liftMs * 1000ll) {
        n.waitingForLift = false;
        n.state = fillstate::kRunning;
        n.startUs += settings_.liftMs * 1000ll;
      }
      if (n.state == fillstate::kRunning) {
        const int64_t pumpingUs = nowUs - n.startUs - settings_.startMs * 1000ll;
        int64_t delivered = pumpingUs * settings_.rateMlPerSecond / 1000000;
        if (delivered >= static_cast<int64_t>(n.presetMl)) {
          n.amountMl = n.presetMl;
          n.state = fillstate::kFinished;
          // Finished at the moment the preset was reached, not when looked at.
          n.endUs = n.startUs + settings_.startMs * 1000ll +
                    static_cast<int64_t>(n.presetMl) * 1000000 / settings_.rateMlPerSecond;
        } else {
          n.amountMl = static_cast<uint32_t>(delivered < 0 ? 0 : delivered);
        }
      }
      bool ended = n.state == fillstate::kFinished || n.state == fillstate::kStopped;
      if (ended && settings_.holdMs > 0 && nowUs - n.endUs >= settings_.holdMs * 1000ll)
        n.state = fillstate::kIdle;
    }
  }
}

void Fills::statusRecord(int group, int nozzle, int nozzleCount, uint8_t out[8]) const {
  for (int i = 0; i < 8; ++i) out[i] = 0;
  out[0] = static_cast<uint8_t>(nozzle + 1);
  if (nozzle < nozzleCount) {
    const NozzleFill& n = nozzles_[group][nozzle];
    out[1] = static_cast<uint8_t>(0x02 | (n.remote ? 0x80 : 0x00));
    out[2] = n.grade;
    toBcd(n.amountMl / 10, out + 3, 3);
    out[6] = n.state;
  }
  out[7] = static_cast<uint8_t>(frameChecksum(out, 7));
}

// While a nozzle fills, the mass flow falls from 20.0 to 5.0 and the pressure
// rises from 150.0 to 200.0 as the tank fills; at rest 0.0 and 200.0.
void Fills::updateDiagnostics(MemoryImage& memory, int groups) const {
  for (int g = 0; g < groups && g < layout::kMaxGroups; ++g) {
    int pressure = 2000, flow = 0;
    for (const NozzleFill& n : nozzles_[g]) {
      if (n.state != fillstate::kRunning || n.presetMl == 0) continue;
      int permille = static_cast<int>(static_cast<uint64_t>(n.amountMl) * 1000 / n.presetMl);
      flow = 200 - 150 * permille / 1000;
      pressure = 1500 + 500 * permille / 1000;
    }
    uint32_t base = layout::kDiagnostics;
    if (8 + 2 * g + 1 < layout::kDiagnosticsSize)
      memory.set16(2, base + 8 + 2 * g, static_cast<uint16_t>(pressure));
    if (20 + 2 * g + 1 < layout::kDiagnosticsSize)
      memory.set16(2, base + 20 + 2 * g, static_cast<uint16_t>(flow));
  }
}
