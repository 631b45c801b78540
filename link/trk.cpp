// The link object itself: construction from the station configuration and the
// small operations that touch no wire.
#include "link/trk.h"

#include <cstring>

NozzleRecord NozzleTable[kDispenserCount * kNozzlesPerDispenser];
Trk* linkTable[kDispenserCount];

Trk::Trk(int dispenser, int address, int port, int side, int configIndex,
         const StationConfig& station)
    : stateTimer(-1),
      commandTimer(-1),
      statusTimer(-1),
      blockState(0),
      commandState(0),
      bitState(0),
      resetRetries(0),
      statusLength(0),
      controlBit(-1),
      controlByte(0),
      errorRecord{},
      linkFlags(0x80),
      statusErrors(0),
      nameText{},
      nozzleCodes{},
      port(port),
      dispenser(dispenser),
      currentNozzle(0),
      mode(0),
      previousMode(0),
      lastError(0),
      // The application sets the preset kind before every fill; starting from
      // 0 keeps a link that was never told from sending an undefined modifier.
      fillKind(0),
      total(0),
      presetLimit(0),
      presetBase(0),
      gradeValue(0),
      gradeValueCopy(0),
      linkState(kLinkUp),
      sideCount(0),
      type(0),
      side(side),
      firstPosition(0),
      nozzleCount(0),
      address(address),
      // The values the tool sets (ConfigureApplicationLink), so a link set up
      // otherwise still waits a sane time.
      statusTimeoutFactor(4),
      statusErrorTolerance(1),
      writeBody_{},
      statusReply_{},
      nameTerminated_{},
      station_(&station) {
  if (dispenser >= 0 && dispenser < kDispenserCount) {
    type = station.dispensers[dispenser].controllerType;
  }
  if (configIndex >= 0 && configIndex < kConfigRecordCount) {
    const DispenserConfigRecord& config = station.configs[configIndex];
    nozzleCount = config.nozzleCount;
    sideCount = config.sideCount;
    std::memcpy(nameText, config.name, sizeof nameText);
    std::memcpy(nozzleCodes, config.nozzleCodes, sizeof nozzleCodes);
  }
  firstPosition = side * nozzleCount;
  statusLength = 8 * sideCount * nozzleCount;
}

Trk::~Trk() = default;

void Trk::errorText(char* buf) {
  // The operator procedures word their own messages from the error codes.
  if (buf) buf[0] = '\0';
}

int Trk::setMode(int newMode) {
  previousMode = mode;
  mode = newMode;
  return mode;
}

void Trk::noOp() {}
void Trk::noOpB() {}
void Trk::noOpC() {}
void Trk::noOpPair(int, int) {}
void Trk::noOpD() {}
void Trk::noOpE() {}
void Trk::spareHook() {}
void Trk::statusFaultHookA(int) {}
void Trk::statusFaultHookB(int) {}

// The hook does nothing unless a derived link replaces it, so calling it
// through the table is the same as calling it only when replaced.
int Trk::callSpareHook(int) {
  spareHook();
  return 0;
}

int Trk::portHandle() { return port; }

const char* Trk::name() {
  std::memcpy(nameTerminated_, nameText, sizeof nameText);
  nameTerminated_[sizeof nameText] = '\0';
  return nameTerminated_;
}

NozzleRecord* Trk::nozzleRecord(int nozzle) {
  if (nozzle == -1) nozzle = currentNozzle;
  if (nozzle < 0 || nozzle >= nozzleCount || nozzle >= kNozzlesPerDispenser) return nullptr;
  if (dispenser < 0 || dispenser >= kDispenserCount) return nullptr;
  return &NozzleTable[dispenser * kNozzlesPerDispenser + nozzle];
}

int Trk::nozzleCode(int nozzle) {
  if (nozzle == -1) nozzle = currentNozzle;
  if (nozzle < 0 || nozzle >= nozzleCount) return -1;
  int position = firstPosition + nozzle;
  if (position < 0 || position >= static_cast<int>(sizeof nozzleCodes)) return -1;
  return nozzleCodes[position];
}

int Trk::selectNozzle(int nozzle) {
  if (nozzle >= 0 && nozzle < nozzleCount) currentNozzle = nozzle;
  int value = 0;
  if (dispenser >= 0 && dispenser < kDispenserCount && currentNozzle >= 0 &&
      currentNozzle < kNozzlesPerDispenser) {
    uint8_t grade = station_->dispensers[dispenser].grades[currentNozzle];
    value = station_->products[grade].value;
  }
  gradeValue = value;
  gradeValueCopy = value;
  return value;
}
