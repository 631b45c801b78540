// Trk: one dispenser controller reached over one port. Every exchange is a
// non-blocking step: the caller repeats the same call until it returns
// something other than kTrkPending (the results are in trk_result.h).
// lastError: 254 no answer, 253 unexpected answer byte, else the controller's
// own error code from its error record.
#pragma once
#include <cstdint>
#include <optional>
#include <mutex>

#include "link/station_config.h"
#include "link/trk_result.h"

constexpr int kDispenserCount = 16;
constexpr int kNozzlesPerDispenser = 8;

// Last error codes of the link itself.
constexpr int kErrorNoAnswer = 254;
constexpr int kErrorUnexpectedByte = 253;

// One nozzle's status as last merged from a status reply.
struct NozzleRecord {
  uint8_t changed;         // bits 0 and 1 set whenever an update changed something
  uint8_t holdCount;       // 2 after every accepted update; counts rejected jumps down
  uint8_t previousFlags;
  uint8_t previousStatus;
  uint8_t previousState;
  int32_t previousAmount;
  uint8_t flags;           // status record byte 1
  uint8_t status;          // status record byte 2
  uint8_t state;           // status record byte 6: the nozzle's state code
  uint8_t reserved1;
  int32_t amount;          // millilitres
  int32_t target;
  uint8_t reserved2[8];
};

// Record of nozzle n of dispenser d: NozzleTable[d * kNozzlesPerDispenser + n].
extern NozzleRecord NozzleTable[kDispenserCount * kNozzlesPerDispenser];

// Argument of Trk::nozzleCommand.
struct NozzleCommand {
  uint8_t grade;    // sent only with code 80 (preset)
  int32_t value;    // amount in millilitres; sent divided by 10 as BCD
  int16_t code;
};

class Trk;
// Links by dispenser number; status replies are routed through it.
extern Trk* linkTable[kDispenserCount];

class Trk {
 public:
  // Type, nozzles, sides, name and nozzle codes come from station's dispenser
  // entry and configuration record configIndex; selectNozzle reads its grades
  // and products later, so station must outlive the link.
  Trk(int dispenser, int address, int port, int side, int configIndex,
      const StationConfig& station = kEmptyStation);
  virtual ~Trk();
  Trk(const Trk&) = delete;
  Trk& operator=(const Trk&) = delete;

  int16_t stateTimer;     // time-out slot of the block machine
  int16_t commandTimer;   // time-out slot of the nozzle-command machine
  int16_t statusTimer;    // time-out slot of the status poll
  int32_t blockState;     // shared by writeBlock, readBlock, readTotal, readErrorRecord, resetLink
  static constexpr int32_t kBlockIdle = 0;   // no block exchange under way
  int32_t commandState;   // nozzleCommand, 0..3
  int32_t bitState;       // readControlBit / writeControlBit
  int32_t resetRetries;
  int32_t statusLength;   // bytes the pending status reply must have (8 per nozzle)
  int32_t controlBit;     // -1 until one is read
  uint8_t controlByte;
  uint8_t errorRecord[16];
  uint8_t linkFlags;      // 0x80 at construction
  int32_t statusErrors;   // consecutive status replies with invalid BCD digits
  // The dispenser name; called nameText because name() is an operation.
  char nameText[20];
  int8_t nozzleCodes[14];
  int32_t port;           // 0 = no port: sends do nothing, reads find nothing
  // Set, a write goes only over this connection (PortConnection): one meant
  // for the controller a Read found sends nothing, not even its select frame,
  // once the port has taken another peer; it fails as unanswered. Unset, a
  // write goes over whichever connection the port has when it begins.
  std::optional<uint32_t> writeOnlyOver;
  int32_t dispenser;
  int32_t currentNozzle;  // used when an operation is given nozzle -1
  std::mutex linkLock;
  std::mutex tableLock;   // held while this dispenser's nozzle table row is updated
  std::mutex spareLock;
  int32_t mode;
  int32_t previousMode;
  int32_t lastError;
  int16_t fillKind;       // preset kind for code 1; set by the application before a fill
  int32_t total;
  int32_t presetLimit;
  int32_t presetBase;
  int32_t gradeValue;
  int32_t gradeValueCopy;
  int32_t linkState;      // a TrkLinkState
  int32_t sideCount;
  int32_t type;           // controller type; the tool uses 18
  int32_t side;
  int32_t firstPosition;  // side x nozzleCount
  int32_t nozzleCount;
  int32_t address;        // low byte goes into every select frame
  // Status reply time-out = 55 ms x statusTimeoutFactor.
  int32_t statusTimeoutFactor;
  // A status reply with bad BCD digits is counted up to tolerance + 4 times in
  // a row before the fault hooks run.
  int32_t statusErrorTolerance;

  // The exchanges (the reads and writes, nozzleCommand, the status polls and
  // the operations this program does not know) answer a TrkResult as int.
  virtual int readControlBit(int* out);
  virtual int writeControlBit(int value);
  virtual int applyCorrection(int enable);
  virtual int applyCorrectionLegacy(int enable);
  virtual int writeBlock(int address, int bank, const uint8_t* data, int size);
  virtual int readBlock(int address, int bank, int count, uint8_t* dest);
  virtual void errorText(char* buf);
  virtual int setMode(int mode);
  virtual void noOp();
  virtual int nozzleCommand(int nozzle, NozzleCommand* cmd);
  virtual int readNozzleStatus(int nozzle, NozzleRecord* out);
  virtual void requestStatus(int nozzle);
  virtual int collectStatus(int unused);
  virtual int readTotal(int unused, int nozzle, int expected);
  virtual int readAllTotals(int unused, int32_t* totals, int32_t* expected);
  virtual int resetLink();
  virtual int portHandle();
  virtual const char* name();
  virtual NozzleRecord* nozzleRecord(int nozzle);
  virtual int nozzleCode(int nozzle);
  virtual int selectNozzle(int nozzle);
  virtual void statusFaultHookA(int position);
  virtual void statusFaultHookB(int position);
  virtual void noOpB();
  virtual void noOpC();
  virtual void noOpPair(int, int);
  virtual void spareHook();
  virtual int callSpareHook(int);
  virtual void noOpD();
  virtual void noOpE();
  virtual int sendFunction13(int nozzle);
  virtual int sendFunction03(int nozzle);

  int readErrorRecord();
  int mergeStatus(const uint8_t* records, int count, int address);

 private:
  // Working storage of the exchanges in flight (not part of the link's model).
  uint8_t writeBody_[256];   // data bytes 1..size-1 and their checksum
  int writeBodySize_ = 0;
  // A status reply is taken whole into this buffer; statusLength never exceeds
  // kStatusReplyMax (17 records).
  static constexpr int kStatusReplySize = 140;
  static constexpr int kStatusReplyMax = 136;
  uint8_t statusReply_[kStatusReplySize];
  // nameText need not hold a terminator; name() hands out this copy that does.
  char nameTerminated_[sizeof nameText + 1];
  const StationConfig* station_;

  // After an exchange that went unanswered or took bytes it cannot vouch
  // for, the next block exchange or nozzle command waits for the line to
  // settle until settleDeadline_ (see trk_line.cpp).
  bool settling_ = false;
  int32_t settleDeadline_ = 0;
  void startSettling();
  bool lineSettled();

  // A one-byte answer is taken once the line has stayed quiet behind it.
  struct LoneByteWait {
    bool seen = false;        // a byte is there; the quiet time runs
    int32_t quietUntil = 0;
  };
  LoneByteWait writeAnswer_;
  LoneByteWait commandAnswer_;
  int takeLoneByte(LoneByteWait& wait, uint8_t* byte);

  int noReply(int waitedMs);
  // The port's echo collisions when the request in flight began: an echoed
  // byte that differed from the byte sent means the request met another
  // talker on the line, and its exchange fails like a garbled reply.
  uint32_t echoMark_ = 0;
  void markRequest();
  bool echoCollided();   // waitedMs: the time-out that passed, for the trace
  // The connection (PortConnection) a write's header went over: the rest of
  // the write goes only over the same one.
  uint32_t writeConnection_ = 0;
  bool connectionChanged();
  bool buildNozzleCommand(int nozzle, int code, const NozzleCommand& cmd, uint8_t* body,
                          int* function);
  int mergeRecord(const uint8_t* record, int address);
};
