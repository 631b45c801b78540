// Which bytes belong to which exchange. Replies carry no address: whatever is
// waiting when an exchange looks for its reply would be taken as that reply.
// Every request drops stale input before it goes out (sendSelect); what
// follows covers the bytes that come after that.
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"

namespace {

// How long a late reply is waited out before the next request goes.
constexpr int kLateReplyAllowanceMs = 1000;
// A one-byte answer must stand alone. At 4800 baud a byte directly behind it
// arrives 2.1 ms later; a USB adapter may hand that byte over in its next
// burst, up to 32 ms after the burst that held the answer. Quiet for two byte
// times, that burst delay and a tick shows that nothing else came with it.
constexpr int kQuietMs = 40;

}  // namespace

// A reply that comes after its exchange gave up would be taken, whole and
// with a good checksum, as the reply of the next request; so would a
// controller's answer that followed a stray byte taken in its place. So after
// such an exchange the next block exchange or nozzle command first lets the
// line settle: whatever arrives in that time is dropped, then the request
// goes out as usual. Status polls do not wait: their records carry a nozzle
// code and a checksum, so stray bytes make a poll fail, never mislead it, and
// a fill must go on being followed.
void Trk::startSettling() {
  settling_ = true;
  settleDeadline_ = static_cast<int32_t>(tickNow() + kLateReplyAllowanceMs);
}

bool Trk::lineSettled() {
  if (!settling_) return true;
  // Nothing late can come on a lost line: the request goes, and fails at once.
  if (PortLost(static_cast<uint16_t>(port))) {
    settling_ = false;
    return true;
  }
  PortClearFor(static_cast<uint16_t>(port), "while the line settled");
  if (!tickReached(settleDeadline_)) return false;
  settling_ = false;
  return true;
}

// An acknowledgement or a nozzle command's answer is one byte, and any byte
// but the refusal counts as success: a stray byte taken for it would report
// done what the controller never took. More than one byte is a garbled line
// (-1, the input dropped); 1 when the byte stood alone for kQuietMs; 0 while
// nothing came or the quiet time runs.
int Trk::takeLoneByte(LoneByteWait& wait, uint8_t* byte) {
  const uint16_t handle = static_cast<uint16_t>(port);
  const int available = PortAvailable(handle);
  if (available > 1) {
    wait.seen = false;
    PortClearFor(handle, "that came where one answer byte was due");
    return -1;
  }
  if (available == 0) {
    wait.seen = false;
    return 0;
  }
  if (!wait.seen) {
    wait.seen = true;
    wait.quietUntil = static_cast<int32_t>(tickNow() + kQuietMs);
    return 0;
  }
  if (!tickReached(wait.quietUntil)) return 0;
  wait.seen = false;
  PortRead(handle, byte, 1);
  return 1;
}

void Trk::markRequest() { echoMark_ = PortEchoCollisions(static_cast<uint16_t>(port)); }

bool Trk::echoCollided() {
  if (PortEchoCollisions(static_cast<uint16_t>(port)) == echoMark_) return false;
  lastError = kErrorUnexpectedByte;
  startSettling();
  return true;
}
