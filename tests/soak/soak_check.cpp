#include "tests/soak/soak_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr int kRecordSize = 19;
constexpr int kRecordSpan = 20;               // a variant-1 record and the byte after it
constexpr uint32_t kStatusByte = 0x24;        // bank 2: the first read of every Read
constexpr uint32_t kSettingsLength = 0x3100;  // bank 0
constexpr uint32_t kSettings = 0x3101;        // bank 0
constexpr uint32_t kCommonBlock = 0x4000;     // bank 0, group 0; group g 256 g further
constexpr uint32_t kCommit = 0x88FFFF;
constexpr uint32_t kPasswordEntry = 0x5302;
constexpr uint32_t kDiagnostics = 0x29;       // bank 2, 24 bytes

struct Reply {
  bool present = false;
  std::vector<uint8_t> bytes;
  bool truncated = false, late = false, badChecksum = false;
  std::string meaning;
};

// One request the simulator decoded, with what it did about it.
struct Exchange {
  double atMs = 0;
  std::string meaning;
  std::vector<uint8_t> wire;
  bool isRead = false, isWrite = false;
  int count = 0, bank = 0;
  uint32_t address = 0;
  bool lost = false, refused = false;
  Reply reply;
  std::vector<uint8_t> data;  // a write's data bytes, taken from the wire
};

std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(static_cast<uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
  return out;
}

// A write's data: header byte 5, then the body's data bytes (the select
// frame, when there is one, comes first on the wire).
std::vector<uint8_t> writeData(const std::vector<uint8_t>& wire, int count) {
  size_t header = (!wire.empty() && wire[0] == 0x60) ? 4 : 0;
  std::vector<uint8_t> data;
  if (wire.size() < header + 8) return data;
  data.push_back(wire[header + 5]);
  for (int k = 1; k < count && header + 8 + size_t(k) - 1 < wire.size(); ++k)
    data.push_back(wire[header + 8 + size_t(k) - 1]);
  return data;
}

std::vector<Exchange> parseTrace(const std::string& path, SoakFindings* f) {
  std::vector<Exchange> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    double at = 0;
    std::string direction;
    if (!(words >> at >> direction)) continue;
    std::string rest;
    std::getline(words, rest);
    if (rest.find("fault:") != std::string::npos) {
      ++f->faults;
      for (const char* kind : {"request lost", "refusal", "noise", "truncated", "late", "checksum wrong"})
        if (rest.find(kind) != std::string::npos) ++f->faultsByKind[kind];
    }
    size_t bar = rest.find(" | ");
    std::string meaning = bar == std::string::npos ? rest : rest.substr(bar + 3);
    std::vector<uint8_t> bytes = hexBytes(bar == std::string::npos ? "" : rest.substr(0, bar));
    if (direction == "rx") {
      if (meaning.rfind("skipped", 0) == 0) continue;
      Exchange e;
      e.atMs = at;
      e.meaning = meaning;
      e.wire = bytes;
      unsigned long address = 0;
      const char* read = std::strstr(meaning.c_str(), "read ");
      const char* write = std::strstr(meaning.c_str(), "write ");
      if (read && std::sscanf(read, "read %d bytes at %d:%lx", &e.count, &e.bank, &address) == 3) {
        e.isRead = true;
      } else if (write &&
                 std::sscanf(write, "write %d bytes at %d:%lx", &e.count, &e.bank, &address) == 3) {
        e.isWrite = true;
        e.data = writeData(bytes, e.count);
      }
      e.address = static_cast<uint32_t>(address);
      out.push_back(e);
      ++f->requests;
    } else if (!out.empty()) {
      Exchange& e = out.back();
      if (direction == "--") {
        if (meaning.find("request lost") != std::string::npos) e.lost = true;
        if (meaning.find("fault: refusal") != std::string::npos) e.refused = true;
      } else if (direction == "tx" && meaning.find("fault: noise") == std::string::npos &&
                 !e.reply.present) {
        e.reply.present = true;
        e.reply.bytes = bytes;
        e.reply.truncated = meaning.find("truncated") != std::string::npos;
        e.reply.late = meaning.find("[fault: late]") != std::string::npos;
        e.reply.meaning = meaning;
        e.reply.badChecksum = meaning.find("checksum wrong") != std::string::npos;
      }
    }
  }
  return out;
}

// The tool had the whole reply of a read, checksum right, within its 1000 ms.
bool readCompleted(const Exchange& e) {
  return e.reply.present && !e.reply.late && !e.reply.truncated && !e.reply.badChecksum &&
         int(e.reply.bytes.size()) == e.count + 1;
}

// The controller acted on a write, whatever became of its reply.
bool writeActedOn(const Exchange& e) {
  return !e.lost && e.reply.present && e.reply.meaning.rfind("accepted", 0) == 0;
}

// The tool saw the write accepted: one reply byte, not 0xFF, within 3000 ms
// (a late reply comes 1500 ms late).
bool writeAccepted(const Exchange& e) {
  return !e.lost && !e.refused && e.reply.present && !e.reply.truncated &&
         !e.reply.bytes.empty() && e.reply.bytes[0] != 0xFF;
}

uint64_t field40(const uint8_t* r, int low, int high) {
  uint64_t v = uint64_t(r[high]) << 32;
  for (int k = 0; k < 4; ++k) v |= uint64_t(r[low + k]) << (8 * k);
  return v;
}

void store40(uint8_t* r, int low, int high, uint64_t v) {
  for (int k = 0; k < 4; ++k) r[low + k] = uint8_t(v >> (8 * k));
  r[high] = uint8_t(v >> 32);
}

// The record the tool is to write for entered value x, from the record it held.
std::vector<uint8_t> recalculated(const std::vector<uint8_t>& held, long double x) {
  std::vector<uint8_t> r(held.begin(), held.begin() + kRecordSize);
  const uint16_t count = uint16_t(r[17] | r[18] << 8);
  if (count > 9998) return r;  // variant 1: written back unchanged
  const long double k = (long double)field40(r.data(), 0, 4);
  uint32_t d = 0;
  for (int i = 0; i < 4; ++i) d |= uint32_t(r[10 + i]) << (8 * i);
  const long double t = d != 0 ? (k + d) / k : 1.0L;
  const long double f = k * (x / 10);
  const uint64_t kNew = uint64_t(floorl(f + 0.5L));
  const uint64_t k2New = uint64_t(floorl(t * f + 0.5L));
  store40(r.data(), 0, 4, kNew);
  store40(r.data(), 5, 9, k2New);
  const uint32_t diff = uint32_t(k2New) - uint32_t(kNew);
  for (int i = 0; i < 4; ++i) r[10 + i] = uint8_t(diff >> (8 * i));
  const uint16_t next = uint16_t(count + 1);
  r[17] = uint8_t(next);
  r[18] = uint8_t(next >> 8);
  return r;
}

bool isRecord(uint32_t address, int nozzles, int groups) {
  return address % 256 == 0 && address >= 0x1000 &&
         address < uint32_t(0x1000 + 256 * nozzles * groups);
}

// The group whose common block starts at address, or -1.
int commonBlockGroup(uint32_t address, int groups) {
  if (address < kCommonBlock || address % 256 != 0) return -1;
  const int g = int((address - kCommonBlock) / 256);
  return g < groups ? g : -1;
}
int counterGroup(uint32_t address, int groups) {
  return address % 256 == 1 ? commonBlockGroup(address - 1, groups) : -1;
}

// The reads a Read cannot go on without: status byte, main settings length
// and main settings.
bool gatesTheRead(const Exchange& e) {
  return e.isRead && ((e.bank == 2 && e.address == kStatusByte) ||
                      (e.bank == 0 && (e.address == kSettingsLength || e.address == kSettings)));
}

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    s += b;
  }
  return s;
}

std::string at(const Exchange& e) {
  char text[64];
  std::snprintf(text, sizeof text, "at %.3f ms: ", e.atMs);
  return text;
}

using Memory = std::map<uint64_t, uint8_t>;  // bank << 24 | address

Memory loadImage(const std::string& path) {
  Memory m;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    int bank = 0;
    unsigned long address = 0;
    int used = 0;
    if (line.empty() || line[0] == '#') continue;
    if (std::sscanf(line.c_str(), "%d:%lx%n", &bank, &address, &used) != 2) continue;
    for (uint8_t b : hexBytes(line.substr(size_t(used)))) m[(uint64_t(bank) << 24) | address++] = b;
  }
  return m;
}

}  // namespace

SoakFindings CheckSoakTrace(const std::string& tracePath, const std::vector<std::string>& entered,
                            int nozzles, int groups) {
  SoakFindings f;
  const std::vector<Exchange> trace = parseTrace(tracePath, &f);
  // What the tool holds of each record and of each group's counter, as far
  // as the controller's replies tell: complete reads, and its own accepted
  // writes.
  std::map<uint32_t, std::vector<uint8_t>> held;
  std::map<int, std::vector<uint8_t>> heldCommon;
  // A commit is sent only behind a counter write the controller took, after
  // the records of its Write: the records it took are then counted.
  bool counterSinceRecords = false;
  bool failedCounterInThisWrite = false;
  std::string failedWhat;
  bool readFailed = false;   // the last Read's status or main settings did not come
  for (const Exchange& e : trace) {
    if (e.isRead && e.bank == 2 && e.address == kStatusByte) {
      failedCounterInThisWrite = false;  // a new Read: the next Write starts afresh
      counterSinceRecords = false;
      readFailed = false;
    }
    if (gatesTheRead(e) && !readCompleted(e) && !readFailed) {
      readFailed = true;
      ++f.failedReads;
    }
    if (e.isRead && e.bank == 0 && readCompleted(e)) {
      std::vector<uint8_t> data(e.reply.bytes.begin(), e.reply.bytes.begin() + e.count);
      if (isRecord(e.address, nozzles, groups) && (e.count == kRecordSize || e.count == kRecordSpan))
        held[e.address] = data;
      const int g = commonBlockGroup(e.address, groups);
      if (g >= 0 && e.count == 6) heldCommon[g] = data;
    }
    if (!e.isWrite) continue;
    if (readFailed) {
      f.violations.push_back(at(e) + "write after a Read that failed: " + e.meaning);
    }
    if (e.bank != 0) continue;

    if (e.address == kCommit && e.count == 1) {
      ++f.commits;
      if (failedCounterInThisWrite)
        f.violations.push_back(at(e) + "commit sent after a failed write (" + failedWhat + ")");
      else if (!counterSinceRecords)
        f.violations.push_back(at(e) + "commit sent without a counter write taken after the records");
      continue;
    }
    const int counterOf = counterGroup(e.address, groups);
    if (isRecord(e.address, nozzles, groups) && (e.count == kRecordSize || e.count == kRecordSpan)) {
      ++f.recordWrites;
      auto h = held.find(e.address);
      bool meant = false;
      if (h != held.end() && int(e.data.size()) == e.count) {
        for (const std::string& text : entered) {
          // The entry may be converted at double or extended precision.
          for (long double x : {(long double)std::strtod(text.c_str(), nullptr),
                                std::strtold(text.c_str(), nullptr)}) {
            if (std::equal(e.data.begin(), e.data.begin() + kRecordSize,
                           recalculated(h->second, x).begin()))
              meant = true;
          }
        }
      }
      if (!meant) {
        f.violations.push_back(at(e) + "record written that is not computed from the record the " +
                               "controller last sent in full: wrote " + hex(e.data) +
                               (h == held.end() ? "(no complete read before)" : "from " + hex(h->second)));
      }
      // The twentieth byte lands after the record: it must be the one the
      // controller sent from there, not a byte of another nozzle or a guess.
      if (e.count == kRecordSpan && int(e.data.size()) == kRecordSpan &&
          (h == held.end() || int(h->second.size()) < kRecordSpan ||
           h->second[kRecordSize] != e.data[kRecordSize])) {
        char text[160];
        std::snprintf(text, sizeof text, "twentieth byte %02X written after the record, where the "
                      "controller last sent %s", e.data[kRecordSize],
                      h == held.end() || int(h->second.size()) < kRecordSpan
                          ? "nothing" : hex({h->second[kRecordSize]}).c_str());
        f.violations.push_back(at(e) + text);
      }
      if (writeAccepted(e)) held[e.address] = e.data;
      counterSinceRecords = false;
    } else if (counterOf >= 0 && (e.count == 2 || e.count == 5)) {
      ++f.counterWrites;
      std::vector<uint8_t>& common = heldCommon[counterOf];
      const bool meant = common.size() == 6 && e.data.size() >= 2 &&
                         uint16_t(e.data[0] | e.data[1] << 8) ==
                             uint16_t((common[1] | common[2] << 8) + 1);
      if (!meant)
        f.violations.push_back(at(e) + "calibration counter written that is not the last one " +
                               "read plus one: " + hex(e.data));
      if (writeAccepted(e)) {
        for (size_t k = 0; k < e.data.size() && k + 1 < common.size(); ++k) common[k + 1] = e.data[k];
        counterSinceRecords = true;
      } else {
        failedCounterInThisWrite = true;
        failedWhat = e.meaning;
      }
    } else if (e.address == kPasswordEntry) {
      continue;  // a password write that gets no answer lets the Write go on
    } else {
      f.violations.push_back(at(e) + "write where the tool has nothing to write: " + e.meaning);
    }
  }
  return f;
}

void CheckSoakImage(const std::string& initialImage, const std::string& finalImage,
                    const std::string& tracePath, int nozzles, SoakFindings* findings,
                    int groups) {
  const Memory before = loadImage(initialImage);
  const Memory after = loadImage(finalImage);
  if (before.empty() || after.empty()) {
    findings->violations.push_back("memory image missing or empty");
    return;
  }
  SoakFindings scratch;
  const std::vector<Exchange> trace = parseTrace(tracePath, &scratch);
  // What the controller should hold: the start, with every write it acted on.
  Memory expected = before;
  for (const Exchange& e : trace) {
    if (!e.isWrite || !writeActedOn(e) || e.address == kCommit) continue;
    if (!isRecord(e.address, nozzles, groups) && counterGroup(e.address, groups) < 0) continue;
    for (size_t k = 0; k < e.data.size(); ++k)
      expected[(uint64_t(e.bank) << 24) | (e.address + k)] = e.data[k];
  }
  for (const auto& [place, value] : after) {
    auto was = before.find(place);
    if (was != before.end() && was->second == value) continue;
    const uint32_t address = uint32_t(place & 0xFFFFFF);
    const bool inRecord = (place >> 24) == 0 && isRecord(address & ~0xFFu, nozzles, groups) &&
                          (address & 0xFF) < kRecordSpan;
    const int group = commonBlockGroup(address & ~0xFFu, groups);
    const bool inCounter = (place >> 24) == 0 && group >= 0 && (address & 0xFF) >= 1 &&
                           (address & 0xFF) <= 5;
    if ((place >> 24) == 0 && address == kCommit) continue;  // the commit byte itself
    // The controller's live diagnostics (pressure, mass flow) move on their own.
    if ((place >> 24) == 2 && address >= kDiagnostics && address < kDiagnostics + 24) continue;
    char text[160];
    if (!inRecord && !inCounter) {
      std::snprintf(text, sizeof text, "memory at %d:%06X changed where the tool never writes",
                    int(place >> 24), address);
      findings->violations.push_back(text);
    } else if (expected[place] != value) {
      std::snprintf(text, sizeof text,
                    "memory at %d:%06X holds %02X, not the %02X the tool's last write there put",
                    int(place >> 24), address, value, expected[place]);
      findings->violations.push_back(text);
    }
  }
}
