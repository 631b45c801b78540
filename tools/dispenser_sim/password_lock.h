// The controller's password: without one, its 16-byte state reads as sixteen
// 0x11 bytes and writes need none. With one, byte 0 bit 1 asks for it until
// it is entered; three wrong entries lock entry (bit 2) until the controller
// restarts. Byte 1 counts the wrong entries.
#pragma once
#include <cstdint>

class PasswordLock {
 public:
  // password < 0: none configured.
  explicit PasswordLock(int password) : password_(password) {}

  bool configured() const { return password_ >= 0; }
  bool writesAllowed() const { return !configured() || unlocked_; }
  bool locked() const { return wrongEntries_ >= kAttempts; }

  void state(uint8_t out[16]) const;
  // The two bytes written to the entry address: P / 100, P % 100 (variants
  // 0 and 1) or P little-endian (variant 2). Returns 0 when accepted, else
  // the error code of the refusal.
  uint8_t enter(const uint8_t bytes[2], int variant);

 private:
  static constexpr int kAttempts = 3;
  int password_;
  bool unlocked_ = false;
  int wrongEntries_ = 0;
};
