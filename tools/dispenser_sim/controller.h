// The simulated controller: its memory and what it does with each request.
// It decides the reply's bytes; when and whether they go out (pacing, faults)
// is the session's business.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/dispenser_sim/fills.h"
#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/memory_image.h"
#include "tools/dispenser_sim/password_lock.h"
#include "link/frame_request.h"

struct ControllerSettings {
  bool keyOn = true;
  int password = -1;           // < 0: none
  int cng = -1;                // CNG diagnostics: 1 on, 0 off, -1 on for variant 2 only
  FillSettings fills;
  std::string firmware = "HIA 1.07 ";  // start of the identification text
};

struct Reply {
  std::vector<uint8_t> bytes;  // empty: no reply
  bool endsInChecksum = false; // its last byte is a checksum of the others
  bool refusable = false;      // a one-byte reply where 0xFF means refused
  std::string meaning;         // for the trace
};

class Controller {
 public:
  Controller(MemoryImage& memory, const ControllerSettings& settings);

  // Not ours (another bus address) gives no reply and changes nothing.
  bool addressedToUs(const Request& request) const;
  Reply handle(const Request& request, int64_t nowUs);
  // A refusal without doing anything (fault injection).
  Reply refuse(uint8_t errorCode);
  void advance(int64_t nowUs);

  layout::Shape shape() const { return layout::readShape(memory_); }
  bool cngDiagnostics() const;
  void setKey(bool on) { settings_.keyOn = on; }
  bool keyOn() const { return settings_.keyOn; }
  uint8_t lastError() const { return lastError_; }
  int commits() const { return commits_; }
  void setCommits(int n) { commits_ = n; }
  // Writes that changed the memory since the last call (for saving).
  bool takeMemoryChanged();
  const Fills& fills() const { return fills_; }
  const PasswordLock& password() const { return password_; }

 private:
  Reply read(const Request& r);
  Reply write(const Request& r, int group);
  uint8_t applyWrite(const Request& r, int group, std::string* meaning);
  uint8_t calibrationMessage(const uint8_t* m, int group, std::string* meaning);
  Reply nozzleCommand(const Request& r, int group, int64_t nowUs);
  Reply status(const Request& r, int group, int64_t nowUs);
  Reply errorRecord();
  Reply identify();
  uint8_t readByte(const layout::Shape& shape, int bank, uint32_t address) const;
  bool touchesPasswordState(const layout::Shape& shape, const Request& r) const;

  MemoryImage& memory_;
  ControllerSettings settings_;
  PasswordLock password_;
  Fills fills_;
  uint8_t lastError_ = 0;
  int commits_ = 0;
  bool memoryChanged_ = false;
};
