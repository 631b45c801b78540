#include "tools/dispenser_sim/controller.h"

#include <cstdio>

#include "link/frame.h"
#include "tools/dispenser_sim/bcd.h"
#include "tools/dispenser_sim/error_codes.h"

namespace {

constexpr uint8_t kAccepted = 0x00;
constexpr uint8_t kRefused = 0xFF;
constexpr int kErrorRecordSize = 16;
constexpr uint64_t kOne = 1ull << 32;          // coefficient 1.0 in 32-bit fixed point
constexpr uint64_t kMaxCoefficient = (1ull << 40) - 1;

std::string format(const char* fmt, long a = 0, long b = 0, long c = 0, long d = 0) {
  char text[160];
  std::snprintf(text, sizeof text, fmt, a, b, c, d);
  return text;
}

std::string where(const layout::Shape& shape, int bank, uint32_t address) {
  std::string text = format("%ld:%06lX", bank, static_cast<long>(address));
  std::string area = layout::areaHolding(shape, bank, address);
  return area.empty() ? text : text + " (" + area + ")";
}

}  // namespace

Controller::Controller(MemoryImage& memory, const ControllerSettings& settings)
    : memory_(memory), settings_(settings), password_(settings.password), fills_(settings.fills) {}

bool Controller::cngDiagnostics() const {
  return settings_.cng < 0 ? shape().variant == 2 : settings_.cng == 1;
}

bool Controller::addressedToUs(const Request& request) const {
  return !request.selected || layout::groupOf(shape(), request.linkAddress) >= 0;
}

bool Controller::takeMemoryChanged() {
  bool changed = memoryChanged_;
  memoryChanged_ = false;
  return changed;
}

void Controller::advance(int64_t nowUs) {
  fills_.advance(nowUs);
  fills_.updateDiagnostics(memory_, shape().groups);
}

Reply Controller::handle(const Request& r, int64_t nowUs) {
  int group = r.selected ? layout::groupOf(shape(), r.linkAddress) : 0;
  if (group < 0) return Reply{};
  switch (r.kind) {
    case RequestKind::Read: return read(r);
    case RequestKind::Write: return write(r, group);
    case RequestKind::NozzleCommand:
    case RequestKind::Preset: return nozzleCommand(r, group, nowUs);
    case RequestKind::Status:
    case RequestKind::StatusAll: return status(r, group, nowUs);
    case RequestKind::ErrorRecord: return errorRecord();
    case RequestKind::Identify: return identify();
    case RequestKind::Unsupported: break;
  }
  Reply none;
  none.meaning = "function not answered";
  return none;
}

Reply Controller::refuse(uint8_t errorCode) {
  lastError_ = errorCode;
  Reply reply;
  reply.bytes = {kRefused};
  reply.refusable = true;
  reply.meaning = format("refused (error 0x%02lX)", errorCode);
  return reply;
}

uint8_t Controller::readByte(const layout::Shape& shape, int bank, uint32_t address) const {
  uint32_t state = layout::passwordState(shape.variant);
  if (bank == layout::passwordBank(shape.variant) && address >= state &&
      address < state + layout::kPasswordStateSize) {
    uint8_t bytes[layout::kPasswordStateSize];
    password_.state(bytes);
    return bytes[address - state];
  }
  return memory_.get(bank, address);
}

Reply Controller::read(const Request& r) {
  Reply reply;
  if (r.count == 0) {
    reply.meaning = "read of 0 bytes: not answered";
    return reply;
  }
  layout::Shape s = shape();
  for (int i = 0; i < r.count; ++i)
    reply.bytes.push_back(readByte(s, r.bank, (r.address + i) & 0xFFFFFF));
  reply.bytes.push_back(static_cast<uint8_t>(frameChecksum(reply.bytes.data(), r.count)));
  reply.endsInChecksum = true;
  reply.meaning = format("%ld bytes of ", r.count) + where(s, r.bank, r.address) + " + checksum";
  return reply;
}

bool Controller::touchesPasswordState(const layout::Shape& s, const Request& r) const {
  if (r.bank != layout::passwordBank(s.variant)) return false;
  uint32_t first = layout::passwordState(s.variant);
  uint32_t last = first + layout::kPasswordStateSize - 1;
  return r.address <= last && r.address + static_cast<uint32_t>(r.count) - 1 >= first;
}

Reply Controller::write(const Request& r, int group) {
  Reply reply;
  if (r.count == 0) {
    reply.meaning = "write of 0 bytes: not answered";
    return reply;
  }
  std::string meaning;
  uint8_t code;
  if (!r.bodyChecksumOk) {
    code = errcode::kBodyChecksum;
    meaning = "body checksum wrong";
  } else if (!settings_.keyOn) {
    code = errcode::kKeyOff;
    meaning = "configuration key off";
  } else {
    code = applyWrite(r, group, &meaning);
  }
  if (code != errcode::kNone) lastError_ = code;
  uint8_t verdict = code == errcode::kNone ? kAccepted : kRefused;
  if (r.count == 1) {
    // Two bytes nobody examines: the verdict and the byte now held there.
    reply.bytes = {verdict, readByte(shape(), r.bank, r.address)};
  } else {
    reply.bytes = {verdict};
    reply.refusable = true;
  }
  reply.meaning = (code == errcode::kNone ? "accepted: " : format("refused (error 0x%02lX): ", code)) +
                  meaning;
  return reply;
}

uint8_t Controller::applyWrite(const Request& r, int group, std::string* meaning) {
  layout::Shape s = shape();
  int pwBank = layout::passwordBank(s.variant);
  if (r.bank == pwBank && r.address == layout::passwordEntry(s.variant) && r.count == 2) {
    uint8_t code = password_.enter(r.data.data(), s.variant);
    *meaning = code == errcode::kNone          ? "password accepted"
               : code == errcode::kWrongPassword ? "wrong password"
                                                 : "password entry locked";
    return code;
  }
  if (!password_.writesAllowed()) {
    *meaning = "password not entered";
    return errcode::kWrongPassword;
  }
  if (s.variant == 2 && r.bank == 2 && r.address == layout::kCalibrationMessage && r.count == 6)
    return calibrationMessage(r.data.data(), group, meaning);
  if (touchesPasswordState(s, r)) {
    *meaning = "the password state is not writable";
    return errcode::kBadParameter;
  }
  memory_.setBlock(r.bank, r.address, r.data.data(), r.count);
  memoryChanged_ = true;
  if (r.bank == 0 && r.address == layout::kCommit && r.count == 1 &&
      r.data[0] == layout::kCommitByte) {
    ++commits_;
    *meaning = format("commit #%ld", commits_);
    return errcode::kNone;
  }
  *meaning = format("%ld bytes to ", r.count) + where(s, r.bank, r.address);
  return errcode::kNone;
}

// Variant 2 recalculates the coefficient itself: Y is the entered value in
// thousandths, where 10.000 keeps the coefficient (K x Y / 10000, as the
// other variants' tool-side calculation does) and 0 resets it to 1.0. The
// short record keeps Y at bytes 4-5 and the date at bytes 8-10, and counts
// the calibration at bytes 12-13; the group's calibration counter and date
// in the common block advance too.
uint8_t Controller::calibrationMessage(const uint8_t* m, int group, std::string* meaning) {
  layout::Shape s = shape();
  int nozzle = m[0];
  unsigned y = static_cast<unsigned>(m[1] | (m[2] << 8));
  if (nozzle < 1 || nozzle > s.nozzles) {
    *meaning = format("calibration message for nozzle %ld: no such nozzle", nozzle);
    return errcode::kNoSuchNozzle;
  }
  if (y != 0 && (y < 5000 || y > 20000)) {
    *meaning = format("calibration message, nozzle %ld: value %ld out of 5000-20000", nozzle, y);
    return errcode::kBadParameter;
  }
  uint32_t at = layout::record(s, nozzle - 1, group);
  uint8_t rec[layout::kShortRecordSize];
  memory_.getBlock(0, at, rec, layout::kShortRecordSize);
  uint64_t k = (static_cast<uint64_t>(rec[11]) << 32) | rec[0] | (rec[1] << 8) |
               (rec[2] << 16) | (static_cast<uint64_t>(rec[3]) << 24);
  uint64_t fresh = y == 0 ? kOne : (k * y + 5000) / 10000;
  if (fresh > kMaxCoefficient) fresh = kMaxCoefficient;
  for (int i = 0; i < 4; ++i) rec[i] = static_cast<uint8_t>(fresh >> (8 * i));
  rec[11] = static_cast<uint8_t>(fresh >> 32);
  rec[4] = m[1];
  rec[5] = m[2];
  rec[8] = m[3];
  rec[9] = m[4];
  rec[10] = m[5];
  uint16_t count = static_cast<uint16_t>(rec[12] | (rec[13] << 8));
  ++count;
  rec[12] = static_cast<uint8_t>(count);
  rec[13] = static_cast<uint8_t>(count >> 8);
  memory_.setBlock(0, at, rec, layout::kShortRecordSize);

  uint32_t common = layout::commonBlock(group);
  memory_.set16(0, common + 1, static_cast<uint16_t>(memory_.get16(0, common + 1) + 1));
  memory_.setBlock(0, common + 3, m + 3, 3);
  memoryChanged_ = true;
  *meaning = format("calibration message: nozzle %ld, value %ld.%03ld", nozzle, y / 1000, y % 1000) +
             format(", coefficient %ld.%06ld", static_cast<long>(fresh >> 32),
                    static_cast<long>(((fresh & 0xFFFFFFFFull) * 1000000) >> 32));
  return errcode::kNone;
}

Reply Controller::nozzleCommand(const Request& r, int group, int64_t nowUs) {
  Reply reply;
  reply.refusable = true;
  const uint8_t* b = r.body;
  int code = r.nozzleCode;
  uint8_t error = errcode::kNone;
  uint8_t result;
  uint32_t value = 0;
  if (b[0] != code) {
    error = errcode::kBadParameter;
    result = kRefused;
    reply.meaning = "nozzle code in the body differs from the select frame";
  } else if (code < 1 || code > shape().nozzles) {
    error = errcode::kNoSuchNozzle;
    result = kRefused;
    reply.meaning = format("no nozzle %ld", code);
  } else if (r.kind == RequestKind::Preset) {
    if (!fromBcd(b + 2, 3, &value)) {
      error = errcode::kBadParameter;
      result = kRefused;
      reply.meaning = "preset value is not BCD";
    } else {
      result = fills_.preset(group, code - 1, value * 10, b[5], nowUs, &error);
      reply.meaning = format("preset %ld ml, grade %ld, nozzle %ld", value * 10, b[5], code);
    }
  } else if (b[1] == nozzlefn::kPreset && !fromBcd(b + 3, 4, &value)) {
    error = errcode::kBadParameter;
    result = kRefused;
    reply.meaning = "value is not BCD";
  } else {
    fromBcd(b + 3, 4, &value);
    result = fills_.command(group, code - 1, b[1], value * 10, nowUs, &error);
    reply.meaning = format("command 0x%02lX value %ld ml, nozzle %ld", b[1], value * 10, code);
  }
  if (result == kRefused) {
    lastError_ = error;
    reply.meaning += format(": refused (error 0x%02lX)", error);
  } else if (result != kAccepted) {
    reply.meaning += ": unknown command";
  } else {
    reply.meaning += ": accepted";
  }
  reply.bytes = {result};
  return reply;
}

Reply Controller::status(const Request& r, int group, int64_t nowUs) {
  advance(nowUs);
  Reply reply;
  layout::Shape s = shape();
  int first = r.kind == RequestKind::StatusAll ? 0 : r.nozzleCode - 1;
  int last = r.kind == RequestKind::StatusAll ? s.nozzles - 1 : r.nozzleCode - 1;
  if (first < 0) {
    reply.meaning = "status of nozzle 0: not answered";
    return reply;
  }
  for (int n = first; n <= last; ++n) {
    uint8_t rec[8];
    fills_.statusRecord(group, n, s.nozzles, rec);
    reply.bytes.insert(reply.bytes.end(), rec, rec + 8);
    if (!reply.meaning.empty()) reply.meaning += "; ";
    reply.meaning += format("nozzle %ld flags 0x%02lX state 0x%02lX amount %ld ml", n + 1, rec[1],
                            rec[6], rec[1] ? static_cast<long>(fills_.nozzle(group, n).amountMl) / 10 * 10 : 0);
  }
  reply.endsInChecksum = true;
  return reply;
}

Reply Controller::errorRecord() {
  Reply reply;
  reply.bytes.assign(kErrorRecordSize, 0);
  reply.bytes[7] = lastError_;
  if (cngDiagnostics()) reply.bytes[12] = '$';
  reply.bytes[15] = static_cast<uint8_t>(frameChecksum(reply.bytes.data(), 15));
  reply.endsInChecksum = true;
  reply.meaning = format("error record: code 0x%02lX", lastError_) +
                  (cngDiagnostics() ? ", CNG diagnostics" : "");
  return reply;
}

Reply Controller::identify() {
  Reply reply;
  if (!cngDiagnostics()) {
    reply.meaning = "identification probe: no CNG diagnostics, not answered";
    return reply;
  }
  uint32_t base = layout::kDiagnostics;
  int pressure = memory_.get16(2, base + 8), flow = memory_.get16(2, base + 20);
  std::string text = settings_.firmware +
                     format("P=%ld.%ld Q=%ld.%ld\r\n", pressure / 10, pressure % 10, flow / 10, flow % 10);
  reply.bytes.assign(text.begin(), text.end());
  reply.meaning = "identification: " + text.substr(0, text.size() - 2);
  return reply;
}
