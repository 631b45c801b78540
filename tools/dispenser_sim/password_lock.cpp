#include "tools/dispenser_sim/password_lock.h"

#include "tools/dispenser_sim/error_codes.h"

void PasswordLock::state(uint8_t out[16]) const {
  for (int i = 0; i < 16; ++i) out[i] = configured() ? 0x00 : 0x11;
  if (!configured()) return;
  out[0] = static_cast<uint8_t>((unlocked_ ? 0x00 : 0x02) | (locked() ? 0x04 : 0x00));
  out[1] = static_cast<uint8_t>(wrongEntries_);
}

uint8_t PasswordLock::enter(const uint8_t bytes[2], int variant) {
  if (!configured()) return errcode::kNone;
  if (locked()) return errcode::kPasswordLocked;
  bool right;
  if (variant == 2) {
    right = (bytes[0] | (bytes[1] << 8)) == (password_ & 0xFFFF);
  } else {
    // The tool sends P / 100 in one byte: compare as it arrives.
    right = bytes[0] == ((password_ / 100) & 0xFF) && bytes[1] == password_ % 100;
  }
  if (right) {
    unlocked_ = true;
    wrongEntries_ = 0;
    return errcode::kNone;
  }
  ++wrongEntries_;
  return errcode::kWrongPassword;
}
