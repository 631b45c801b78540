// Status polls: the request, the collection of the reply, and its merge into
// the shared nozzle table.
#include <algorithm>

#include "link/frame.h"
#include "link/packed_bcd.h"
#include "clock/tick.h"
#include "clock/timer_slot.h"
#include "link/reply_wait.h"
#include "link/trk.h"
#include "link/wire_trace.h"
#include "port/port.h"

namespace {

constexpr int kAllNozzles = 255;
constexpr int kFunctionStatus = 0x80;
constexpr int kFunctionStatusAll = 0x8F;
constexpr int kStatusUnitMs = 55;
constexpr int kRecordSize = 8;
constexpr int kNozzleCodePositions = 14;

constexpr int kTypeUnmasked = 18;
// An amount may move by this much between two replies and still be believed.
constexpr uint32_t kPlausibleStep = 10000;
constexpr uint8_t kHoldReplies = 2;

}  // namespace

void Trk::requestStatus(int nozzle) {
  slotArm(statusTimer, kStatusUnitMs * statusTimeoutFactor);
  int function = kFunctionStatusAll;
  if (nozzle == kAllNozzles) {
    statusLength = std::clamp(kRecordSize * sideCount * nozzleCount, 0, kStatusReplyMax);
  } else {
    statusLength = kRecordSize;
    int code = nozzleCode(nozzle);
    // 0x80 - 1 would be another function: a position without a nozzle code
    // asks nothing, and its collection runs into the time-out.
    if (code < 0) return;
    function = kFunctionStatus + code;
  }
  markRequest();
  sendSelect(static_cast<uint16_t>(port), address, function);
}

int Trk::collectStatus(int) {
  const uint16_t handle = static_cast<uint16_t>(port);
  const int length = std::clamp(statusLength, 0, kStatusReplyMax);
  const int available = PortAvailable(handle);
  if (available < length) {
    if (!replyAbandoned(statusTimer, port)) return kTrkPending;
    // Whatever part of the reply came is dropped with it; a poll that gets no
    // answer says nothing new about the controller's own errors.
    PortRead(handle, statusReply_, std::min(available, length));
    WireTraceNoReply(handle, kStatusUnitMs * statusTimeoutFactor);
    return kTrkNoReply;
  }
  PortRead(handle, statusReply_, length);
  if (echoCollided()) {
    slotRelease(statusTimer);
    return kTrkMalformedReply;
  }
  int result = mergeStatus(statusReply_, length / kRecordSize, address);
  slotRelease(statusTimer);
  return result;
}

int Trk::mergeStatus(const uint8_t* records, int count, int replyAddress) {
  for (int i = 0; i < count; ++i) {
    int result = mergeRecord(records + i * kRecordSize, replyAddress);
    if (result != kTrkDone) return result;
  }
  return kTrkDone;
}

// One StatusRecord: kTrkDone when merged or skipped, otherwise the result
// that ends the whole reply.
int Trk::mergeRecord(const uint8_t* record, int replyAddress) {
  const uint8_t code = record[0];
  if (static_cast<uint8_t>(frameChecksum(record, 7)) != record[7] || code < 1 || code > 8) {
    return kTrkFailed;
  }
  if (!isPackedBcd(record + 3, 3)) {
    // A few garbled amounts in a row are tolerated; past that the fault is
    // reported for the nozzle and counting starts again.
    if (statusErrors <= statusErrorTolerance + 4) {
      ++statusErrors;
    } else {
      statusErrors = 0;
      for (int j = 0; j < kNozzleCodePositions; ++j) {
        if (nozzleCodes[j] == code) {
          statusFaultHookB(j);
          statusFaultHookA(j);
          break;
        }
      }
    }
    return kTrkMalformedReply;
  }
  if (!(record[1] & 0x02)) return kTrkDone;  // the record carries no data

  // The reply may speak for any side this controller address serves.
  Trk* owner = nullptr;
  NozzleRecord* row = nullptr;
  for (int d = dispenser; d < dispenser + sideCount && !row; ++d) {
    if (d < 0 || d >= kDispenserCount) continue;
    Trk* link = linkTable[d];
    if (!link || link->address != replyAddress) continue;
    for (int k = 0; k < link->nozzleCount && k < kNozzlesPerDispenser; ++k) {
      int position = link->firstPosition + k;
      if (position < 0 || position >= kNozzleCodePositions) break;
      if (link->nozzleCodes[position] == code) {
        owner = link;
        row = &NozzleTable[d * kNozzlesPerDispenser + k];
        break;
      }
    }
  }
  if (!row) return kTrkDone;

  int32_t amount = (bcdPairValue(record[3]) * 10000 + bcdPairValue(record[4]) * 100 +
                    bcdPairValue(record[5])) * 10;
  uint8_t state = record[6];
  if (type != kTypeUnmasked) {
    // On other controller types the low nibble of states 0x20-0x3F is not
    // part of the state, and no amount counts up to state 0x2F.
    if (state >= 0x20 && state <= 0x3F) state &= 0xF0;
    if (state <= 0x2F) amount = 0;
  }

  std::lock_guard<std::mutex> hold(owner->tableLock);
  // A sudden jump is believed only when it is still there after two more
  // replies; the arithmetic is unsigned so a drop counts as a jump too.
  const uint32_t step = static_cast<uint32_t>(amount) - static_cast<uint32_t>(row->previousAmount);
  const uint32_t ceiling =
      static_cast<uint32_t>(owner->presetLimit) - static_cast<uint32_t>(owner->presetBase);
  const bool plausible = step <= kPlausibleStep && static_cast<uint32_t>(amount) <= ceiling;
  if (!plausible && row->holdCount > 0) {
    --row->holdCount;
    return kTrkDone;
  }
  row->holdCount = kHoldReplies;
  row->previousFlags = row->flags;
  row->previousStatus = row->status;
  row->previousState = row->state;
  row->previousAmount = row->amount;
  row->amount = amount;
  row->flags = record[1];
  row->status = record[2];
  row->state = state;
  if (row->amount != row->previousAmount || row->flags != row->previousFlags ||
      row->status != row->previousStatus || row->state != row->previousState) {
    row->changed |= 0x03;
  }
  return kTrkDone;
}

int Trk::readNozzleStatus(int nozzle, NozzleRecord* out) {
  const uint32_t askedAt = tickNow();
  requestStatus(nozzle);
  const int timeoutMs = kStatusUnitMs * statusTimeoutFactor;
  int result;
  // Between steps the thread sleeps until the whole reply is in or its
  // time-out has passed: the reply is taken the moment it is complete, and
  // the wait wakes only as its bytes arrive. The tick counts whole
  // milliseconds, so one more keeps the wait from ending just short of the
  // time-out and going round again.
  while ((result = collectStatus(0)) == kTrkPending) {
    const int leftMs = timeoutMs - static_cast<int>(tickNow() - askedAt);
    PortWaitFor(static_cast<uint16_t>(port), statusLength, std::max(leftMs, 0) + 1);
  }
  statusErrors = 0;
  switch (result) {
    case kTrkNoReply: linkState = kLinkNoAnswer; break;
    case kTrkFailed: linkState = kLinkControllerError; break;
    case kTrkMalformedReply: linkState = kLinkMalformed; break;
    default: linkState = kLinkUp; break;
  }
  if (out && dispenser >= 0 && dispenser < kDispenserCount && nozzle >= 0 &&
      nozzle < kNozzlesPerDispenser) {
    *out = NozzleTable[dispenser * kNozzlesPerDispenser + nozzle];
  }
  return linkState == kLinkUp ? kTrkDone : kTrkFailed;
}
