// The status merge, fed the way the tool feeds it: a status request goes out,
// the reply's bytes arrive on the line, Trk::collectStatus takes them and
// Trk::mergeStatus routes each record into the nozzle table. The links'
// configuration comes from the input too (nozzle and side counts, nozzle
// codes, controller type), so replies are merged against shapes the main
// window never sets up as well.
//
// Input: 20 bytes of configuration, then replies: [nozzle] [length] [bytes].
// Every poll must end with a documented result; no row but those of the two
// links may change, and the reply buffer's limit must hold.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_line.h"
#include "link/trk.h"

namespace {

constexpr int kConfigSize = 20;
constexpr int kMaxPolls = 12;

[[noreturn]] void fail(const char* what, int result) {
  std::fprintf(stderr, "status poll: %s (result %d)\n", what, result);
  std::abort();
}

void configure(Trk& link, const uint8_t* c, uint16_t port) {
  link.nozzleCount = c[0] % 10;  // up to 9: one more than a side can have
  link.sideCount = c[1] % 20;    // up to 19: beyond what the reply buffer takes
  link.firstPosition = c[2] % 16;
  link.type = (c[3] & 1) ? 18 : 5;
  link.presetLimit = (c[3] & 2) ? 100000 : 0;
  link.address = c[4];
  for (int i = 0; i < 14; ++i) link.nozzleCodes[i] = int8_t(c[5 + i] % 10);
  link.port = port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kConfigSize) return 0;
  static Trk* first = new Trk(0, 1, 0, 0, 0);
  static Trk* second = new Trk(1, 1, 0, 1, 0);
  FuzzLineReset();
  std::memset(NozzleTable, 0, sizeof NozzleTable);
  configure(*first, data, FuzzLineHandle());
  first->statusErrors = data[19] % 8;
  // The second side of the same controller, as a two-sided dispenser has.
  second->nozzleCount = 4;
  second->sideCount = 1;
  second->firstPosition = 4;
  second->address = first->address;
  second->type = first->type;
  for (int i = 0; i < 14; ++i) second->nozzleCodes[i] = int8_t(i + 1);
  linkTable[0] = first;
  linkTable[1] = second;

  size_t at = kConfigSize;
  for (int n = 0; n < kMaxPolls && size - at >= 2; ++n) {
    const uint8_t nozzle = data[at];
    size_t length = data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    const uint8_t* reply = data + at;
    at += length;

    first->requestStatus((nozzle & 0x80) ? 255 : nozzle % 10);
    if (first->statusLength < 0 || first->statusLength > 136) fail("reply longer than its buffer", 0);
    FuzzLineDeliver(reply, length);
    int result = kTrkPending;
    for (int k = 0; result == kTrkPending && k < 100; ++k) {
      result = first->collectStatus(0);
      if (result == kTrkPending) FuzzAdvanceTime(50);
    }
    if (result != kTrkDone && result != kTrkFailed && result != kTrkMalformedReply &&
        result != kTrkNoReply) {
      fail("undocumented result", result);
    }
    // The same bytes merged directly, as far as they make whole records.
    int merged = first->mergeStatus(reply, int(length / 8), first->address);
    if (merged != kTrkDone && merged != kTrkFailed && merged != kTrkMalformedReply) {
      fail("undocumented merge result", merged);
    }
    FuzzLineDrainRequests();
  }
  for (int row = 2 * kNozzlesPerDispenser; row < kDispenserCount * kNozzlesPerDispenser; ++row) {
    static const NozzleRecord kUntouched{};
    if (std::memcmp(&NozzleTable[row], &kUntouched, sizeof kUntouched) != 0) fail("a row of another dispenser changed", row);
  }
  linkTable[0] = linkTable[1] = nullptr;
  FuzzCheckNoSlotHeld(*first);
  return 0;
}
