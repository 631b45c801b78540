// Test fills of 10 l (or 500 l with "Fulltank load") on one nozzle: the link
// exchanges behind the Load button and the fill timer.
#include "app/core/fill_procedure.h"

#include <cstdint>
#include <cstdio>

#include "app/catalog/catalog.h"
#include "app/core/controller_state.h"
#include "app/core/poll.h"
#include "link/trk.h"
#include "port/port.h"

namespace {

constexpr int16_t kCodePreset = 1;   // carries the preset in millilitres
constexpr int16_t kCodeStop = 15;    // stops a running fill, closes a finished one
constexpr int kDiagnosticsSize = 24;

// Nozzle state codes reported in the status records.
constexpr uint8_t kStateIdle = 0x00;
constexpr uint8_t kStateIdleReady = 0x10;
constexpr uint8_t kStateRunning = '0';   // 0x30
constexpr uint8_t kStateFinished = 0x40;
constexpr uint8_t kStateFinishedClosed = 0x41;

bool IsIdle(uint8_t state) { return state == kStateIdle || state == kStateIdleReady; }
// Running, finished, stopped or any other state above idle-ready.
bool LeftIdle(uint8_t state) { return state > kStateIdleReady; }

NozzleRecord& SharedRecord(const Trk& link, int i) {
  return NozzleTable[link.dispenser * kNozzlesPerDispenser + i];
}

int SendCommand(Trk& link, int i, int16_t code, int32_t value, int waitMs) {
  NozzleCommand command{0, value, code};
  return PollUntilDone([&] { return link.nozzleCommand(i, &command); }, link.port, waitMs);
}

}  // namespace

void StopTestFill(Trk& link, int i) {
  const uint8_t state = SharedRecord(link, i).state;
  if (state == 0x20 || state == 0x21 || state == kStateRunning) {
    SendCommand(link, i, kCodeStop, 0, 0);   // a running fill: no pause between steps
  } else if (state >= 0x40) {
    SendCommand(link, i, kCodeStop, 0, 1);
  }
}

FillStart StartTestFill(Trk& link, int i, int32_t presetMl) {
  NozzleRecord status;
  link.readNozzleStatus(i, &status);
  if (!(SharedRecord(link, i).flags & 0x80)) {
    PollUntilDone([&] { return link.sendFunction13(i); }, link.port);
  }
  if (status.state > 0x10) SendCommand(link, i, kCodeStop, 0, 1);
  link.readNozzleStatus(i, &status);
  if (status.state > 0x10) return FillStart::kPumpBusy;

  link.fillKind = 0;
  const int result = SendCommand(link, i, kCodePreset, presetMl, 1);
  if (result == kTrkDone) return FillStart::kStarted;
  // A nozzle the link cannot address never had its preset sent.
  if (link.nozzleCode(i) < 0) return FillStart::kPresetFailed;
  // Refused is refused. A lost, late or garbled answer leaves it open: the
  // controller may fill all the same, and that fill must be followed and
  // stoppable, so the pump is given as long as any pump to start.
  return result == kTrkRefused ? FillStart::kPresetFailed : FillStart::kPresetUnanswered;
}

FillFollowing BeginFollowing(const Trk& link, FillStart start) {
  FillFollowing f;
  f.presetUnanswered = start == FillStart::kPresetUnanswered;
  f.startedAt = std::chrono::steady_clock::now();
  f.connection = PortConnection(static_cast<uint16_t>(link.port));
  return f;
}

FillStatus PollTestFill(Trk& link, int i, FillFollowing& following) {
  FillStatus out{FillPhase::kNoNews, 0};
  // Another peer behind the port gets no poll: the nozzle followed is not its.
  if (PortConnection(static_cast<uint16_t>(link.port)) != following.connection) {
    out.phase = FillPhase::kOtherConnection;
    return out;
  }
  NozzleRecord status;
  const bool answered = link.readNozzleStatus(i, &status) == kTrkDone;
  // A peer taken while the poll went out may have answered it: that answer
  // is not the followed nozzle's.
  if (PortConnection(static_cast<uint16_t>(link.port)) != following.connection) {
    out.phase = FillPhase::kOtherConnection;
    return out;
  }
  if (answered) {
    const uint8_t state = status.state;
    if (LeftIdle(state)) following.leftIdle = true;
    if (state == kStateRunning) {
      out = {FillPhase::kRunning, status.amount};
    } else if (state == kStateFinished || state == kStateFinishedClosed) {
      out = {FillPhase::kFinished, status.amount};
    } else if (state > kStateFinishedClosed) {
      out = {FillPhase::kStopped, status.amount};
    } else if (IsIdle(state) && following.leftIdle) {
      out = {FillPhase::kEnded, 0};
    }
  }
  // Never seen running: the pump did not start, and it is not to be followed
  // for ever.
  if (out.phase == FillPhase::kNoNews && !following.leftIdle &&
      std::chrono::steady_clock::now() - following.startedAt >= kFillStartBound) {
    out.phase = FillPhase::kNeverStarted;
  }
  return out;
}

bool ReadDiagnostics(Trk& link, int group, int* massFlow, int* pressure) {
  uint8_t block[kDiagnosticsSize];
  const int result = PollUntilDone(
      [&] { return link.readBlock(kDiagnosticsAddress, 2, kDiagnosticsSize, block); }, link.port,
      15);
  if (result != kTrkDone) return false;
  // Pressure at 8 + 2g, mass flow at 20 + 2g: the block holds two groups' flow.
  if (20 + 2 * group + 1 >= kDiagnosticsSize) return false;
  *pressure = block[8 + 2 * group] | block[9 + 2 * group] << 8;
  *massFlow = block[20 + 2 * group] | block[21 + 2 * group] << 8;
  return true;
}

void FormatVolume(char* out, size_t size, const char* format, int32_t amount) {
  std::snprintf(out, size, format, amount / 1000, (amount / 10) % 100);
}

void FormatDiagnostics(char* out, size_t size, int massFlow, int pressure) {
  std::snprintf(out, size, tr("mass flow %3d.%d\npressure  %3d.%d"), massFlow / 10, massFlow % 10,
                pressure / 10, pressure % 10);
}
