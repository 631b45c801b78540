// The block machine: memory reads and writes, the error record and the
// totaliser, all stepping on blockState and stateTimer.
#include <cstring>

#include "link/frame.h"
#include "clock/timer_slot.h"
#include "link/reply_wait.h"
#include "link/trk.h"
#include "link/wire_trace.h"
#include "port/port.h"

namespace {

// blockState values. The read-type exchanges share the one waiting state, so
// an exchange left waiting by its caller is continued by whichever of them is
// called next.
constexpr int kIdle = Trk::kBlockIdle;
constexpr int kReplyPending = 1;
constexpr int kBodyPending = 2;   // write: header sent, body waits for the line
constexpr int kLongReply = 3;     // write: body sent, one reply byte awaited
constexpr int kShortReply = 4;    // one-byte write: two reply bytes awaited

constexpr int kReadReplyMs = 1000;
constexpr int kBodyPauseMs = 50;
constexpr int kLongReplyMs = 3000;
constexpr int kShortReplyMs = 300;
constexpr int kErrorRecordMs = 300;
// The totaliser reply has no time-out of its own; it gets the memory read's.
constexpr int kTotalReplyMs = 1000;

constexpr int kFunctionWrite = 0x40;
constexpr int kFunctionRead = 0x48;
constexpr int kFunctionTotal = 0x70;
constexpr int kFunctionErrorRecord = 0xF0;

constexpr int kHeaderSize = 8;
constexpr int kMaxBlock = 255;
constexpr int kErrorRecordSize = 16;
constexpr int kTotalReplySize = 16;

// Bytes 2-4 carry the 24-bit address middle, high, low; byte 0 tells a read
// (0) from a write (1) even when no select frame goes before it.
void buildHeader(uint8_t* header, uint8_t kind, int address, uint8_t firstData,
                 int count) {
  header[0] = kind;
  header[1] = 0x00;
  header[2] = static_cast<uint8_t>(address >> 8);
  header[3] = static_cast<uint8_t>(address >> 16);
  header[4] = static_cast<uint8_t>(address);
  header[5] = firstData;
  header[6] = static_cast<uint8_t>(count);
  header[7] = static_cast<uint8_t>(frameChecksum(header, 7));
}

}  // namespace

// An exchange that got no reply in time: its reply may still come, so the
// next one waits for the line to settle first.
int Trk::noReply(int waitedMs) {
  WireTraceNoReply(static_cast<uint16_t>(port), waitedMs);
  blockState = kIdle;
  lastError = kErrorNoAnswer;
  startSettling();
  return kTrkNoReply;
}

// A TCP port that took another peer, or connected anew, between a write's
// header and the bytes that follow it: those bytes would reach a controller
// that never got the header, so the write ends here, not done.
bool Trk::connectionChanged() {
  if (PortConnection(static_cast<uint16_t>(port)) == writeConnection_) return false;
  blockState = kIdle;
  lastError = kErrorNoAnswer;
  startSettling();
  return true;
}

int Trk::readBlock(int memAddress, int bank, int count, uint8_t* dest) {
  const uint16_t handle = static_cast<uint16_t>(port);
  switch (blockState) {
    case kIdle: {
      // A count the header cannot carry would ask for one block and wait for another.
      if (count < 1 || count > kMaxBlock || !dest) return kTrkFailed;
      if (!lineSettled()) return kTrkPending;
      uint8_t header[kHeaderSize];
      buildHeader(header, 0x00, memAddress, 0x00, count);
      markRequest();
      sendSelect(handle, address, kFunctionRead + (bank & 7));
      PortWrite(handle, header, kHeaderSize);
      slotArm(stateTimer, kReadReplyMs);
      blockState = kReplyPending;
      return kTrkPending;
    }
    case kReplyPending: {
      if (PortAvailable(handle) < count + 1) {
        if (!replyAbandoned(stateTimer, port)) return kTrkPending;
        return noReply(kReadReplyMs);
      }
      slotRelease(stateTimer);
      PortRead(handle, dest, count);
      uint8_t checksum;
      PortRead(handle, &checksum, 1);
      blockState = kIdle;
      if (echoCollided()) return kTrkMalformedReply;
      // Bytes of an earlier reply that were still on the line when this
      // request cleared the input arrive ahead of this reply and shift it;
      // its checksum is what tells, before a calibration is computed from
      // the shifted bytes.
      if (static_cast<uint8_t>(frameChecksum(dest, count)) != checksum) {
        startSettling();
        return kTrkMalformedReply;
      }
      return kTrkDone;
    }
    default:
      return kTrkPending;
  }
}

int Trk::writeBlock(int memAddress, int bank, const uint8_t* data, int size) {
  const uint16_t handle = static_cast<uint16_t>(port);
  switch (blockState) {
    case kIdle: {
      if (size < 1 || size > kMaxBlock || !data) return kTrkFailed;
      if (!lineSettled()) return kTrkPending;
      uint8_t header[kHeaderSize];
      buildHeader(header, 0x01, memAddress, data[0], size);
      writeConnection_ = writeOnlyOver ? *writeOnlyOver : PortConnection(handle);
      if (connectionChanged()) return kTrkNoReply;
      markRequest();
      sendSelect(handle, address, kFunctionWrite + (bank & 7));
      if (size == 1) {
        // The header carries the byte and the reply follows it: nothing
        // received before it goes out can be that reply (the select frame
        // already dropped it, except on a point-to-point link).
        PortClear(handle);
        if (connectionChanged()) return kTrkNoReply;
        PortWrite(handle, header, kHeaderSize);
        slotArm(stateTimer, kShortReplyMs);
        blockState = kShortReply;
        return kTrkPending;
      }
      if (connectionChanged()) return kTrkNoReply;
      PortWrite(handle, header, kHeaderSize);
      writeBodySize_ = size;
      std::memcpy(writeBody_, data + 1, static_cast<size_t>(size - 1));
      writeBody_[size - 1] = static_cast<uint8_t>(frameChecksum(writeBody_, size - 1));
      slotArm(stateTimer, kBodyPauseMs);
      blockState = kBodyPending;
      return kTrkPending;
    }
    case kBodyPending:
      // The controller takes the body only after the header has left the
      // line and a pause has passed.
      if (!replyAbandoned(stateTimer, port)) return kTrkPending;
      if (!PortTxEmpty(handle)) return kTrkPending;
      // Whatever came during the pause (noise, the tail of an earlier reply)
      // arrived before the body went out and cannot be its acknowledgement.
      PortClear(handle);
      if (connectionChanged()) return kTrkNoReply;
      // The header met another talker: the controller may hold a garbled
      // one, and no body goes after it.
      if (echoCollided()) {
        blockState = kIdle;
        return kTrkMalformedReply;
      }
      PortWrite(handle, writeBody_, writeBodySize_);
      slotArm(stateTimer, kLongReplyMs);
      blockState = kLongReply;
      return kTrkPending;
    case kLongReply: {
      uint8_t reply = 0;
      const int taken = takeLoneByte(writeAnswer_, &reply);
      if (taken == 0) {
        if (writeAnswer_.seen) return kTrkPending;
        break;
      }
      slotRelease(stateTimer);
      blockState = kIdle;
      if (echoCollided()) return kTrkMalformedReply;
      if (taken < 0) {
        // More than the one byte expected: which of them, if any, was the
        // controller's answer cannot be told, so the write is not done.
        lastError = kErrorUnexpectedByte;
        startSettling();
        return kTrkMalformedReply;
      }
      return reply == 0xFF ? kTrkRefused : kTrkDone;
    }
    case kShortReply: {
      if (PortAvailable(handle) < 2) break;
      slotRelease(stateTimer);
      uint8_t reply[2];  // not examined
      PortRead(handle, reply, 2);
      blockState = kIdle;
      if (echoCollided()) return kTrkMalformedReply;
      return kTrkDone;
    }
    default:
      return kTrkPending;
  }
  // A reply state still short of bytes.
  if (!replyAbandoned(stateTimer, port)) return kTrkPending;
  return noReply(blockState == kShortReply ? kShortReplyMs : kLongReplyMs);
}

int Trk::readErrorRecord() {
  const uint16_t handle = static_cast<uint16_t>(port);
  switch (blockState) {
    case kIdle:
      if (!lineSettled()) return kTrkPending;
      markRequest();
      sendSelect(handle, address, kFunctionErrorRecord);
      slotArm(stateTimer, kErrorRecordMs);
      blockState = kReplyPending;
      return kTrkPending;
    case kReplyPending:
      if (PortAvailable(handle) < kErrorRecordSize) {
        if (!replyAbandoned(stateTimer, port)) return kTrkPending;
        return noReply(kErrorRecordMs);
      }
      slotRelease(stateTimer);
      PortRead(handle, errorRecord, kErrorRecordSize);
      blockState = kIdle;
      if (echoCollided()) return kTrkMalformedReply;
      lastError = errorRecord[7];
      return kTrkDone;
    default:
      return kTrkPending;
  }
}

// The totaliser reply is taken and its checksum checked; how the controller
// lays the total out in it is not known to this program, so `total` is left
// as it was and `expected` is not compared.
int Trk::readTotal(int, int nozzle, int) {
  const uint16_t handle = static_cast<uint16_t>(port);
  switch (blockState) {
    case kIdle: {
      int code = nozzleCode(nozzle);
      // A position without a nozzle code has no function byte of its own.
      if (code < 0) {
        lastError = kErrorUnexpectedByte;
        return kTrkFailed;
      }
      if (!lineSettled()) return kTrkPending;
      markRequest();
      sendSelect(handle, address, kFunctionTotal + code);
      slotArm(stateTimer, kTotalReplyMs);
      blockState = kReplyPending;
      return kTrkPending;
    }
    case kReplyPending: {
      if (PortAvailable(handle) < kTotalReplySize) {
        if (!replyAbandoned(stateTimer, port)) return kTrkPending;
        return noReply(kTotalReplyMs);
      }
      slotRelease(stateTimer);
      uint8_t reply[kTotalReplySize];
      PortRead(handle, reply, kTotalReplySize);
      blockState = kIdle;
      if (echoCollided()) return kTrkMalformedReply;
      if (static_cast<uint8_t>(frameChecksum(reply, 15)) != reply[15]) return kTrkMalformedReply;
      return kTrkDone;
    }
    default:
      return kTrkPending;
  }
}
