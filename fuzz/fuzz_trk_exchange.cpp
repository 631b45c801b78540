// The receive path of every exchange of the link: memory read and write,
// nozzle command and preset, error record, status poll. An input is a run of
// exchanges; each names the operation and its arguments and carries the reply
// bytes the controller's end puts on the line, in chunks, between the link's
// steps. Whatever arrives, every exchange must end (by its time-out at the
// latest) with one of its documented results and leave the link idle.
//
// A memory read answers -4 when its reply's checksum is wrong; a memory write
// when more than its one-byte answer came.
//
// Input, per exchange (until fewer than 4 bytes remain):
//   op      0 readBlock, 1 writeBlock, 2 nozzleCommand, 3 readErrorRecord,
//           4 status poll (modulo 5)
//   param   count / size / nozzle and command code / nozzle
//   flags   bit 0: link address 0 (no select frames); bit 1: controller type
//           other than 18; bits 2-6: chunk size - 1; bit 7: let 60 ms pass
//           before each chunk
//   length  reply bytes that follow
//   reply   the bytes
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_line.h"
#include "link/trk.h"

namespace {

constexpr int kMaxExchanges = 16;
// The longest wait of any exchange is 3050 ms; 200 steps of 100 ms pass it
// many times over.
constexpr int kStepsAfterReply = 200;
constexpr uint32_t kStepMs = 100;

const int16_t kCommandCodes[] = {1, 15, 80, 3, 19, 176, 179, 180};

[[noreturn]] void fail(const char* what, int op, int result) {
  std::fprintf(stderr, "exchange %d: %s (result %d)\n", op, what, result);
  std::abort();
}

bool documented(int op, int result) {
  switch (op) {
    case 0:  // kTrkFailed: count out of range
      return result == kTrkDone || result == kTrkMalformedReply || result == kTrkNoReply ||
             result == kTrkFailed;
    case 1:
      return result == kTrkDone || result == kTrkRefused || result == kTrkMalformedReply ||
             result == kTrkNoReply || result == kTrkFailed;
    case 2:
      return result == kTrkDone || result == kTrkFailed || result == kTrkRefused ||
             result == kTrkNoReply;
    case 3: return result == kTrkDone || result == kTrkNoReply;
    default:
      return result == kTrkDone || result == kTrkFailed || result == kTrkMalformedReply ||
             result == kTrkNoReply;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Trk* link = [] {
    Trk* l = new Trk(0, 1, 0, 0, 0);
    FuzzSetUpLink(*l);
    return l;
  }();
  FuzzLineReset();

  size_t at = 0;
  for (int n = 0; n < kMaxExchanges && size - at >= 4; ++n) {
    const int op = data[at] % 5;
    const uint8_t param = data[at + 1];
    const uint8_t flags = data[at + 2];
    size_t length = data[at + 3];
    at += 4;
    if (length > size - at) length = size - at;
    const uint8_t* reply = data + at;
    at += length;

    link->address = (flags & 1) ? 0 : 1;
    link->type = (flags & 2) ? 7 : 18;
    link->fillKind = 0;
    const size_t chunk = ((flags >> 2) & 0x1F) + 1;
    const bool pause = (flags & 0x80) != 0;

    // Buffers of exactly the size the call is given, so a write past them is caught.
    std::vector<uint8_t> buffer(param);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(i * 7 + 1);
    NozzleCommand command{uint8_t(param), int32_t(param) * 1234, kCommandCodes[(param >> 3) & 7]};
    const int nozzle = (param & 7) - 1;  // -1 .. 6: also positions without a nozzle

    auto step = [&]() -> int {
      switch (op) {
        case 0: return link->readBlock(0x3100 + param, param & 7, param, buffer.data());
        case 1: return link->writeBlock(0x1000 * param, param & 7, buffer.data(), param);
        case 2: return link->nozzleCommand(nozzle, &command);
        case 3: return link->readErrorRecord();
        default: return link->collectStatus(0);
      }
    };
    if (op == 4) link->requestStatus((param & 0x80) ? 255 : param % 10);

    int result = step();
    for (size_t sent = 0; sent < length; sent += chunk) {
      if (pause) FuzzAdvanceTime(60);
      size_t piece = length - sent < chunk ? length - sent : chunk;
      FuzzLineDeliver(reply + sent, piece);
      if (result == kTrkPending) result = step();
    }
    for (int k = 0; result == kTrkPending && k < kStepsAfterReply; ++k) {
      FuzzAdvanceTime(kStepMs);
      result = step();
    }
    if (result == kTrkPending) fail("still pending long after every time-out", op, result);
    if (!documented(op, result)) fail("undocumented result", op, result);
    if (link->blockState != 0 || link->commandState != 0) fail("link not idle after the exchange", op, result);
    FuzzLineDrainRequests();
  }
  FuzzCheckNoSlotHeld(*link);
  return 0;
}
