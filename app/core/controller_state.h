// What Read learned about the controller, kept until the next Read: Write and
// the test fills work from these buffers, the window and the command line
// show them. Nothing here knows about a window.
#pragma once
#include <cstdint>

constexpr int kCalibrationRecordSize = 19;   // variants 0 and 1
// Variant 1 writes a record as 20 bytes: the twentieth lands on the byte after
// the record in controller memory (records are 256 bytes apart, so it is
// nobody else's). Read takes that byte along with the record, and Write puts
// back exactly what it found there.
constexpr int kVariantOneRecordSpan = kCalibrationRecordSize + 1;
constexpr int kShortRecordSize = 15;         // variant 2
constexpr int kCommonBlockSize = 6;
constexpr int kPasswordStateSize = 16;
constexpr int kMainSettingsSize = 256;
constexpr int kControllerNozzles = 8;

// Controller memory the procedures use: address and bank.
constexpr int kStatusByteAddress = 0x000024;          // bank 2
constexpr int kDiagnosticsAddress = 0x000029;         // bank 2, 24 bytes
constexpr int kMainSettingsLengthAddress = 0x003100;  // bank 0
constexpr int kMainSettingsAddress = 0x003101;        // bank 0
constexpr int kPasswordStateAddress = 0x005300;       // bank 0 (variant 2: 2, bank 2)
constexpr int kPasswordAddress = 0x005302;            // bank 0 (variant 2: 3, bank 2)
constexpr int kShortPasswordStateAddress = 2;         // bank 2
constexpr int kShortPasswordAddress = 3;              // bank 2
constexpr int kShortCalibrationMessageAddress = 6;    // bank 2
constexpr int kCommitAddress = 0x88FFFF;              // bank 0, the byte 0x55
constexpr uint8_t kCommitByte = 0x55;

// How far the last Read got. A Read that stops early leaves everything it had
// not reached as the Read before left it.
enum class ReadOutcome : uint8_t {
  kRead,                // to the end; single records may still have failed
  kNoConnection,        // the status byte got no good reply
  kSettingsNotLoaded,   // the main settings length or block got no good reply
  kWrongDataLength,     // the controller reports main settings of length 0
  kWrongChecksum,       // the main settings fail their checksum (variants 0 and 1)
};

// Variant 2 only: whether the controller reports CNG diagnostics.
enum class CngProbe : uint8_t { kNotProbed, kAbsent, kPresent };

constexpr int kCngTextSize = 512;

struct ControllerState {
  ReadOutcome outcome;
  int32_t address;        // parsed from the Address input (hexadecimal)
  uint8_t statusByte;     // also reused as the main settings length
  uint8_t controllerStatus;   // the status byte as it came
  int variant;            // 0, 1 or 2
  uint8_t mainSettings[kMainSettingsSize];
  uint8_t reportedNozzleCount;   // N as the main settings give it
  uint8_t nozzleCount;    // N; a reported 0 becomes 1
  uint8_t groupCount;     // G
  uint8_t groupIndex;     // g: the group the address serves
  // Byte 0 unused; 1-2 calibration counter (LE); 3 day; 4 month; 5 year % 100.
  uint8_t commonBlock[kCommonBlockSize];
  // Variant 1: byte 19 is the byte after the record (see kVariantOneRecordSpan).
  uint8_t calibration[kControllerNozzles][kVariantOneRecordSpan];
  uint8_t shortCalibration[kControllerNozzles][kShortRecordSize];
  // Bit 1 of byte 0 set: the controller wants the password before a write.
  uint8_t passwordState[kPasswordStateSize];
  // The password state as it came (passwordState has its first two bytes
  // cleared on a controller without a password), and whether it came at all.
  uint8_t passwordStateAsRead[kPasswordStateSize];
  bool passwordStateReceived;
  bool passwordFree;      // all sixteen bytes were 0x11: no password asked
  CngProbe cngProbe;
  // The identification text up to 9 bytes after "HIA", or empty.
  char cngText[kCngTextSize];
  // Which buffers came in full in the last Read that reached them (shown as
  // values; "?" where not).
  bool commonBlockReceived;
  bool recordReceived[kControllerNozzles];
  // Whether Write may compute from the common block and each record: the last
  // Read that reached them took them in full, and no read before them in that
  // Read went unanswered. A buffer whose read failed holds zeros, and one read
  // after an unanswered read may hold that read's late reply instead of its own.
  bool commonBlockRead;
  bool recordRead[kControllerNozzles];
  // Whether anything above may be written back at all: the last Read of the
  // controller now connected went through, and neither the port nor the
  // Address has changed since. A Read that fails at any step, closing or
  // changing the port and editing the Address clear it; only a Read that
  // gets to its end sets it again.
  bool readCurrent;
  uint16_t readPort;      // the port that Read went over
  uint32_t readConnection;   // and its connection (PortConnection) all the while
  // The port's line gives back what is sent (PortEchoes), as found by the end
  // of the last Read.
  bool lineEchoes;
};

// Nozzle rows a Read shows: N as reported, at most eight (0 when none).
inline int NozzleRowsShown(const ControllerState& c) {
  return c.reportedNozzleCount < kControllerNozzles ? c.reportedNozzleCount : kControllerNozzles;
}
// Records a Read reads: at most eight, and nozzle 1's even when N is 0.
inline int NozzleRecordsRead(const ControllerState& c) {
  return c.nozzleCount < kControllerNozzles ? c.nozzleCount : kControllerNozzles;
}

// Controller memory addresses that depend on what Read found.
inline int CommonBlockAddress(int group) { return (0x40 + group) * 256; }
inline int CalibrationRecordAddress(int i, int nozzleCount, int group) {
  return (0x10 + i + nozzleCount * group) * 256;
}
inline int ShortRecordAddress(int i, int group) { return (0x10 + 2 * i + group) * 256; }
// Bytes of a calibration record (variants 0 and 1) that Read takes and Write
// sends: variant 1 takes the byte after the record along.
inline int CalibrationTransferSize(int variant) {
  return variant == 1 ? kVariantOneRecordSpan : kCalibrationRecordSize;
}

inline uint16_t CommonCounter(const ControllerState& c) {
  return static_cast<uint16_t>(c.commonBlock[1] | (c.commonBlock[2] << 8));
}
inline void SetCommonCounter(ControllerState& c, uint16_t counter) {
  c.commonBlock[1] = static_cast<uint8_t>(counter);
  c.commonBlock[2] = static_cast<uint8_t>(counter >> 8);
}
