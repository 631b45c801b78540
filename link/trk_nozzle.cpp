// Nozzle commands and presets: one 8-byte body after the select frame, one
// reply byte; a refusal on a type 18 controller fetches the error record.
#include "link/frame.h"
#include "link/packed_bcd.h"
#include "clock/timer_slot.h"
#include "link/reply_wait.h"
#include "link/trk.h"
#include "link/wire_trace.h"
#include "port/port.h"

namespace {

constexpr int kIdle = 0;
constexpr int kReplyPending = 1;
constexpr int kErrorRecordPending = 3;

constexpr int kTypeWithErrorRecord = 18;

constexpr int kFunctionCommand = 0x10;
constexpr int kFunctionPreset = 0x50;

constexpr int16_t kCodeFill = 1;
constexpr int16_t kCode03 = 3;
constexpr int16_t kCode19 = 19;
constexpr int16_t kCodePreset = 80;
constexpr int16_t kCodeFunction0F = 176;
constexpr int16_t kCodeFunction03 = 179;
constexpr int16_t kCodeFunction13 = 180;

constexpr int kBodySize = 8;

int commandReplyMs(int type) { return type == kTypeWithErrorRecord ? 300 : 700; }

// Amounts travel in units of 10 ml; a negative amount has no BCD form and
// goes out as zero.
uint32_t tens(int32_t value) { return value > 0 ? static_cast<uint32_t>(value / 10) : 0; }

}  // namespace

// The command's function byte and 8-byte body; false when the command needs
// nothing on the wire (it is then done at once).
bool Trk::buildNozzleCommand(int nozzle, int code, const NozzleCommand& cmd, uint8_t* body,
                             int* function) {
  const bool type18 = type == kTypeWithErrorRecord;
  for (int b = 0; b < kBodySize; ++b) body[b] = 0;
  body[0] = static_cast<uint8_t>(code);
  *function = kFunctionCommand + code;

  if (cmd.code == kCodePreset) {
    *function = kFunctionPreset + code;
    body[1] = 0x00;
    packBcd(tens(cmd.value), body + 2, 3);
    body[5] = cmd.grade;
    body[6] = 0x00;
  } else {
    uint8_t commandFunction = static_cast<uint8_t>(cmd.code);
    switch (cmd.code) {
      case kCodeFunction0F: commandFunction = 0x0F; break;
      case kCodeFunction03: commandFunction = 0x03; break;
      case kCodeFunction13: commandFunction = 0x13; break;
      case kCode03:
        if (type18) return false;
        commandFunction = 0x03;
        break;
      case kCode19:
        if (type18) {
          const NozzleRecord* record = nozzleRecord(nozzle);
          if (record && (record->flags & 0x80)) return false;
        }
        commandFunction = 0x13;
        break;
      default:
        break;
    }
    body[1] = commandFunction;
    body[2] = (cmd.code == kCodeFill && type18 && fillKind == 0) ? 1 : 0;
    packBcd(tens(cmd.value), body + 3, 4);
  }
  body[7] = static_cast<uint8_t>(frameChecksum(body, 7));
  return true;
}

int Trk::nozzleCommand(int nozzle, NozzleCommand* cmd) {
  const uint16_t handle = static_cast<uint16_t>(port);
  if (commandState == kIdle) {
    if (!cmd) return kTrkFailed;
    if (nozzle == -1) nozzle = currentNozzle;
    int code = nozzleCode(nozzle);
    // A position beyond this side's nozzles has no code; 0x10 - 1 would name
    // another function altogether, so nothing is sent.
    if (code < 0) {
      lastError = kErrorUnexpectedByte;
      return kTrkFailed;
    }
    uint8_t body[kBodySize];
    int function = 0;
    if (!buildNozzleCommand(nozzle, code, *cmd, body, &function)) return kTrkDone;
    // The answer of an earlier command that went unanswered may still come;
    // taken as this one's, a stop the controller never got would count as done.
    if (!lineSettled()) return kTrkPending;
    markRequest();
    sendSelect(handle, address, function);
    PortWrite(handle, body, kBodySize);
    slotArm(commandTimer, commandReplyMs(type));
    commandState = kReplyPending;
    // The reply may already be there: look at once.
  }

  switch (commandState) {
    case kReplyPending: {
      uint8_t reply = 0;
      const int taken = takeLoneByte(commandAnswer_, &reply);
      if (taken == 0) {
        if (commandAnswer_.seen || !replyAbandoned(commandTimer, port)) return kTrkPending;
        WireTraceNoReply(handle, commandReplyMs(type));
        commandState = kIdle;
        lastError = kErrorNoAnswer;
        startSettling();
        return kTrkNoReply;
      }
      slotRelease(commandTimer);
      if (echoCollided()) {
        commandState = kIdle;
        return kTrkFailed;
      }
      if (taken > 0 && reply == 0x00) {
        commandState = kIdle;
        return kTrkDone;
      }
      if (taken < 0 || reply != 0xFF) {
        // A stray byte, or more than one: the controller's own answer may
        // still be on its way.
        commandState = kIdle;
        lastError = kErrorUnexpectedByte;
        startSettling();
        return kTrkFailed;
      }
      if (type != kTypeWithErrorRecord) {
        commandState = kIdle;
        return kTrkRefused;
      }
      // Refused: ask the controller why; the answer lands in lastError.
      commandState = kErrorRecordPending;
      if (readErrorRecord() == kTrkPending) return kTrkPending;
      commandState = kIdle;
      return kTrkRefused;
    }
    case kErrorRecordPending:
      if (readErrorRecord() == kTrkPending) return kTrkPending;
      commandState = kIdle;
      return kTrkRefused;
    default:
      return kTrkPending;
  }
}

int Trk::sendFunction13(int nozzle) {
  NozzleCommand cmd{0, 0, kCodeFunction13};
  return nozzleCommand(nozzle, &cmd);
}

int Trk::sendFunction03(int nozzle) {
  NozzleCommand cmd{0, 0, kCodeFunction03};
  return nozzleCommand(nozzle, &cmd);
}
