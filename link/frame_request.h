// One request as it goes over the line: the select frame and whatever body
// belongs to it. Decoded from the bytes by FrameDecoder, for dispenser-sim
// (what it received) and the wire trace (what the tool sent).
#pragma once
#include <cstdint>
#include <vector>

enum class RequestKind {
  Read,           // 0x48 + bank, 8-byte header
  Write,          // 0x40 + bank, 8-byte header, then the body for size > 1
  NozzleCommand,  // 0x10 + nozzle code, 8-byte body
  Preset,         // 0x50 + nozzle code, 8-byte body
  Status,         // 0x80 + nozzle code
  StatusAll,      // 0x8F
  ErrorRecord,    // 0xF0
  Identify,       // function 0, then the byte '1'
  Unsupported,    // a function this controller does not answer
};

struct Request {
  RequestKind kind = RequestKind::Unsupported;
  bool selected = true;      // false: a header that came without a select frame
  int linkAddress = 0;       // from the select frame
  int function = 0;
  int bank = 0;
  uint32_t address = 0;      // memory address (24 bits)
  int count = 0;             // read count or write size
  std::vector<uint8_t> data; // the bytes to write (size of them)
  bool bodyChecksumOk = true;
  int nozzleCode = 0;        // 1-8 for commands, presets and status
  uint8_t body[8] = {};      // header, command or preset body
  std::vector<uint8_t> wire; // every byte of the request, as received
};
