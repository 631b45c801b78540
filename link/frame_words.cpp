#include "link/frame_words.h"

#include <cstdio>

#include "link/frame.h"

namespace {

constexpr size_t kStatusRecordSize = 8;
constexpr size_t kErrorRecordSize = 16;
constexpr uint8_t kRefusal = 0xFF;

std::string format(const char* pattern, long a, long b = 0, long c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, a, b, c);
  return text;
}

bool checksumRight(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
  return (frameChecksum(bytes.data() + from, static_cast<int>(length)) & 0xFF) ==
         bytes[from + length];
}

int bcdPair(uint8_t b) {
  if ((b >> 4) > 9 || (b & 0x0F) > 9) return -1;
  return (b >> 4) * 10 + (b & 0x0F);
}

const char* stateName(uint8_t state) {
  switch (state) {
    case 0x00:
    case 0x10: return "idle";
    case 0x20:
    case 0x21: return "starting";
    case 0x30: return "running";
    case 0x40:
    case 0x41: return "finished";
    default: return state > 0x41 ? "stopped" : nullptr;
  }
}

// "status nozzle 1: running, 1.23 l": the amount is six BCD digits of 10 ml.
std::string statusRecordWords(const std::vector<uint8_t>& reply, size_t at) {
  const uint8_t* r = reply.data() + at;
  std::string words = format("status nozzle %ld: ", r[0]);
  const char* state = stateName(r[6]);
  words += state ? std::string(state) : format("state 0x%02lX", r[6]);
  const int high = bcdPair(r[3]), middle = bcdPair(r[4]), low = bcdPair(r[5]);
  if (high < 0 || middle < 0 || low < 0) {
    words += ", amount not BCD";
  } else {
    const long ml = (high * 10000L + middle * 100L + low) * 10L;
    words += format(", %ld.%02ld l", ml / 1000, ml % 1000 / 10);
  }
  if (!checksumRight(reply, at, kStatusRecordSize - 1)) words += ", checksum wrong";
  return words;
}

std::string statusWords(const std::vector<uint8_t>& reply) {
  std::string words;
  size_t at = 0;
  for (; at + kStatusRecordSize <= reply.size(); at += kStatusRecordSize) {
    if (!words.empty()) words += "; ";
    words += statusRecordWords(reply, at);
  }
  if (at < reply.size()) {
    if (!words.empty()) words += "; ";
    words += format("%ld bytes of a record", static_cast<long>(reply.size() - at));
  }
  return words.empty() ? "nothing" : words;
}

std::string shortOf(const std::vector<uint8_t>& reply, size_t wanted) {
  return format("%ld of %ld bytes", static_cast<long>(reply.size()), static_cast<long>(wanted));
}

}  // namespace

std::string describeRequest(const Request& r, const std::string& area) {
  std::string head =
      r.selected ? format("to %02lX: ", r.linkAddress) : std::string("point-to-point: ");
  char text[160];
  switch (r.kind) {
    case RequestKind::Read:
    case RequestKind::Write: {
      std::snprintf(text, sizeof text, "%s %d bytes at %d:%06X",
                    r.kind == RequestKind::Read ? "read" : "write", r.count, r.bank,
                    static_cast<unsigned>(r.address));
      std::string s = head + text;
      if (!area.empty()) s += " (" + area + ")";
      return r.bodyChecksumOk ? s : s + ", body checksum wrong";
    }
    case RequestKind::NozzleCommand:
      std::snprintf(text, sizeof text,
                    "nozzle %d command 0x%02X modifier %d value %02X%02X%02X%02X (BCD, tens of ml)",
                    r.nozzleCode, r.body[1], r.body[2], r.body[3], r.body[4], r.body[5], r.body[6]);
      return head + text;
    case RequestKind::Preset:
      std::snprintf(text, sizeof text, "nozzle %d preset %02X%02X%02X (BCD, tens of ml) grade %d",
                    r.nozzleCode, r.body[2], r.body[3], r.body[4], r.body[5]);
      return head + text;
    case RequestKind::Status: return head + format("status of nozzle %ld", r.nozzleCode);
    case RequestKind::StatusAll: return head + "status of all nozzles";
    case RequestKind::ErrorRecord: return head + "error record";
    case RequestKind::Identify: return head + "identification probe";
    case RequestKind::Unsupported:
      return head + format("function 0x%02lX (not supported)", r.function);
  }
  return head;
}

int expectedReplySize(const Request& r) {
  switch (r.kind) {
    case RequestKind::Read: return r.count + 1;
    case RequestKind::Write: return r.count > 1 ? 1 : 2;
    case RequestKind::NozzleCommand:
    case RequestKind::Preset: return 1;
    case RequestKind::Status: return static_cast<int>(kStatusRecordSize);
    case RequestKind::ErrorRecord: return static_cast<int>(kErrorRecordSize);
    default: return 0;
  }
}

std::string describeReply(const Request& r, const std::vector<uint8_t>& reply) {
  const size_t wanted = static_cast<size_t>(expectedReplySize(r));
  if (wanted != 0 && reply.size() < wanted) return shortOf(reply, wanted);
  switch (r.kind) {
    case RequestKind::Read:
      return format("%ld bytes + checksum", r.count) +
             (checksumRight(reply, 0, static_cast<size_t>(r.count)) ? "" : ", checksum wrong");
    case RequestKind::Write:
      if (r.count == 1) return "acknowledged";
      return reply[0] == kRefusal ? "refused" : "accepted";
    case RequestKind::NozzleCommand:
    case RequestKind::Preset:
      if (reply[0] == 0x00) return "accepted";
      return reply[0] == kRefusal ? "refused" : format("answer 0x%02lX", reply[0]);
    case RequestKind::Status:
    case RequestKind::StatusAll: return statusWords(reply);
    case RequestKind::ErrorRecord: return format("error record: code 0x%02lX", reply[7]);
    case RequestKind::Identify: {
      std::string text = "identification: ";
      for (uint8_t b : reply) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
      return text;
    }
    case RequestKind::Unsupported: break;
  }
  return format("%ld bytes", static_cast<long>(reply.size()));
}
