// Read: connect to the controller at the typed address, identify its variant,
// check its main settings and read everything Write and the test fills need
// into the controller state.
#include "app/core/read_procedure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/core/poll.h"
#include "link/frame.h"
#include "link/trk.h"
#include "port/port.h"
#include "util/all_bytes_equal.h"

namespace {

constexpr int kBank0 = 0;
constexpr int kBank2 = 2;

// Where the nozzle count, group count and group 0's address sit in the main
// settings of each variant.
struct SettingsLayout {
  int nozzleCount, groupCount, group0Address;
};
constexpr SettingsLayout kLayouts[3] = {{5, 6, 1}, {4, 5, 2}, {10, 9, 3}};

// One run of Read over one link.
class Reader {
 public:
  Reader(Trk& link, ControllerState& state) : link_(link), c_(state) {}
  ReadOutcome run(int32_t address);
  // Read up to and including the main settings check; the CNG probe only
  // when asked, since it sends the probe byte to the port.
  ReadOutcome identify(int32_t address, bool probe);

 private:
  int readMemory(int address, int bank, int count, uint8_t* dest);
  bool readForWrite(int address, int bank, int count, uint8_t* dest, bool* trusted);
  int findGroupIndex() const;
  void probeCngController();
  void readNozzleRecords(int rows);

  Trk& link_;
  ControllerState& c_;
  // Set once a read of this Read got no reply in time. Replies carry no
  // address: that reply may still come, after the next request has cleared
  // the line, and be taken as the next read's reply, whole and with a good
  // checksum. Whatever Read takes after such a time-out is shown, but Write
  // computes nothing from it (see ControllerState).
  bool replyMayBeLate_ = false;
  uint32_t connection_ = 0;
};

int Reader::readMemory(int address, int bank, int count, uint8_t* dest) {
  const int result =
      PollUntilDone([&] { return link_.readBlock(address, bank, count, dest); }, link_.port);
  if (result == kTrkNoReply) replyMayBeLate_ = true;
  return result;
}

// A read that Write may compute from: it came, and no earlier read of this
// Read is still owed a reply.
bool Reader::readForWrite(int address, int bank, int count, uint8_t* dest, bool* trusted) {
  const bool clean = !replyMayBeLate_;
  const bool done = readMemory(address, bank, count, dest) == kTrkDone;
  *trusted = done && clean;
  return done;
}

int Reader::findGroupIndex() const {
  const int address = c_.address;
  if (address == 0xF0) return 0;
  const uint8_t* s = c_.mainSettings;
  if (c_.variant == 0) {
    if (c_.groupCount == 0 || address == s[1]) return 0;
    for (int k = 1; k < c_.groupCount; ++k) {
      if (address == s[1 + k]) return k;
    }
    return 0;
  }
  if (c_.groupCount == 1) return 0;
  return address == s[kLayouts[c_.variant].group0Address] ? 0 : 1;
}

// Variant-2 controllers that report CNG diagnostics ('$' in their error
// record) answer the identification probe with a text holding "HIA".
void Reader::probeCngController() {
  std::memset(link_.errorRecord, 0, sizeof link_.errorRecord);
  PollUntilDone([this] { return link_.readErrorRecord(); }, link_.port);
  c_.cngText[0] = '\0';
  if (link_.errorRecord[12] != '$') {
    c_.cngProbe = CngProbe::kAbsent;
    return;
  }
  c_.cngProbe = CngProbe::kPresent;
  const uint16_t port = static_cast<uint16_t>(link_.port);
  sendSelect(port, link_.address, 0);
  PortWriteByte(port, '1');
  SleepMs(250);
  char text[kCngTextSize] = "";
  const int waiting = std::min(PortAvailable(port), static_cast<int>(sizeof text) - 1);
  if (waiting > 0 &&
      PortRead(port, reinterpret_cast<uint8_t*>(text), waiting) == kPortReadTaken) {
    text[waiting] = '\0';
  }
  char* hia = std::strstr(text, "HIA");
  if (hia) {
    if (std::strlen(hia) > 9) hia[9] = '\0';
    std::memcpy(c_.cngText, text, sizeof text);
  }
}

void Reader::readNozzleRecords(int rows) {
  for (int i = 0; i < rows; ++i) {
    if (c_.variant == 2) {
      c_.recordReceived[i] = readForWrite(ShortRecordAddress(i, c_.groupIndex), kBank0,
                                          kShortRecordSize, c_.shortCalibration[i],
                                          &c_.recordRead[i]);
    } else {
      c_.recordReceived[i] =
          readForWrite(CalibrationRecordAddress(i, c_.nozzleCount, c_.groupIndex), kBank0,
                       CalibrationTransferSize(c_.variant), c_.calibration[i], &c_.recordRead[i]);
    }
  }
}

ReadOutcome Reader::identify(int32_t address, bool probe) {
  // From here on the buffers are being replaced: until this Read gets through,
  // nothing in them is the connected controller's as a whole.
  c_.readCurrent = false;
  c_.address = address;
  link_.address = address;

  if (readMemory(kStatusByteAddress, kBank2, 1, &c_.statusByte) != kTrkDone) {
    return ReadOutcome::kNoConnection;
  }
  // The connection that answered (a TCP client connects with its first
  // exchange): the rest of the Read must come over the same one.
  connection_ = PortConnection(static_cast<uint16_t>(link_.port));
  c_.controllerStatus = c_.statusByte;
  if (c_.statusByte & 0x20) {
    c_.variant = 2;
    if (probe) {
      probeCngController();
    } else {
      c_.cngProbe = CngProbe::kNotProbed;
    }
  } else {
    c_.variant = (c_.statusByte & 0x80) ? 1 : 0;
    c_.cngProbe = CngProbe::kNotProbed;
  }

  std::memset(c_.mainSettings, 0, sizeof c_.mainSettings);
  SleepMs(20);
  if (readMemory(kMainSettingsLengthAddress, kBank0, 1, &c_.statusByte) != kTrkDone) {
    return ReadOutcome::kSettingsNotLoaded;
  }
  const int length = c_.statusByte;
  if (length == 0) return ReadOutcome::kWrongDataLength;
  SleepMs(20);
  if (readMemory(kMainSettingsAddress, kBank0, length, c_.mainSettings) != kTrkDone) {
    return ReadOutcome::kSettingsNotLoaded;
  }
  if (c_.variant != 2 &&
      (frameChecksum(c_.mainSettings, length - 1) & 0xFF) != c_.mainSettings[length - 1]) {
    return ReadOutcome::kWrongChecksum;
  }

  const SettingsLayout& layout = kLayouts[c_.variant];
  c_.reportedNozzleCount = c_.mainSettings[layout.nozzleCount];
  c_.nozzleCount = c_.reportedNozzleCount;
  c_.groupCount = c_.mainSettings[layout.groupCount];
  c_.groupIndex = static_cast<uint8_t>(findGroupIndex());
  return ReadOutcome::kRead;
}

ReadOutcome Reader::run(int32_t address) {
  const ReadOutcome identified = identify(address, true);
  if (identified != ReadOutcome::kRead) return identified;
  const uint32_t connection = connection_;

  // Eight records at most: a larger count still places the records of other
  // groups, but only eight are handled. A reported 0 still reads nozzle 1.
  int rows = std::min<int>(c_.nozzleCount, kControllerNozzles);
  if (c_.nozzleCount == 0) {
    c_.nozzleCount = 1;
    rows = 1;
  }

  std::memset(c_.commonBlock, 0, sizeof c_.commonBlock);
  std::memset(c_.calibration, 0, sizeof c_.calibration);
  std::memset(c_.shortCalibration, 0, sizeof c_.shortCalibration);
  std::fill(std::begin(c_.recordRead), std::end(c_.recordRead), false);
  std::fill(std::begin(c_.recordReceived), std::end(c_.recordReceived), false);
  c_.commonBlockReceived = readForWrite(CommonBlockAddress(c_.groupIndex), kBank0,
                                        kCommonBlockSize, c_.commonBlock, &c_.commonBlockRead);

  readNozzleRecords(rows);

  // The password state's read result is not examined: what the buffer holds
  // decides, as the controller's own tool has always done. Nothing of an
  // earlier controller's password state survives a read that fails.
  std::memset(c_.passwordState, 0, sizeof c_.passwordState);
  const int passwordResult =
      c_.variant == 2
          ? readMemory(kShortPasswordStateAddress, kBank2, kPasswordStateSize, c_.passwordState)
          : readMemory(kPasswordStateAddress, kBank0, kPasswordStateSize, c_.passwordState);
  c_.passwordStateReceived = passwordResult == kTrkDone;
  std::memcpy(c_.passwordStateAsRead, c_.passwordState, kPasswordStateSize);
  c_.passwordFree = AllBytesEqual(c_.passwordState, kPasswordStateSize, 0x11);
  if (c_.passwordFree) {
    c_.passwordState[0] = 0;
    c_.passwordState[1] = 0;
  }
  // A TCP port that connected anew or took another peer meanwhile: what came
  // before and after may be two controllers' data.
  if (PortConnection(static_cast<uint16_t>(link_.port)) != connection) {
    return ReadOutcome::kNoConnection;
  }
  c_.readCurrent = true;
  c_.readPort = static_cast<uint16_t>(link_.port);
  c_.readConnection = connection;
  return ReadOutcome::kRead;
}

}  // namespace

ReadOutcome ReadControllerState(Trk& link, int32_t address, ControllerState& state) {
  state.outcome = Reader(link, state).run(address);
  state.lineEchoes = PortEchoes(static_cast<uint16_t>(link.port)) != 0;
  return state.outcome;
}

ReadOutcome IdentifyController(Trk& link, int32_t address, ControllerState& state) {
  state.outcome = Reader(link, state).identify(address, false);
  return state.outcome;
}

int MainSettingsGroupAddresses(const ControllerState& state, uint8_t* addresses) {
  const int first = kLayouts[state.variant].group0Address;
  const int most = state.variant == 0 ? 4 : 2;
  const int count = std::min<int>(std::max<int>(state.groupCount, 1), most);
  for (int k = 0; k < count; ++k) addresses[k] = state.mainSettings[first + k];
  return count;
}

bool ReadIsCurrentFor(const ControllerState& state, const Trk& link) {
  return state.readCurrent && state.readPort == link.port && link.address == state.address &&
         PortConnection(static_cast<uint16_t>(link.port)) == state.readConnection;
}

int32_t ParseControllerAddress(const char* text) {
  unsigned parsed = 1;
  if (std::sscanf(text, "%x", &parsed) != 1) parsed = 1;
  return static_cast<int32_t>(parsed);
}
