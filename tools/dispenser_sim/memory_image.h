// The controller's memory: bytes addressed by bank (0-7) and a 24-bit
// address. Only bytes that were ever set are stored; the rest read as 0.
#pragma once
#include <cstdint>
#include <map>

class MemoryImage {
 public:
  uint8_t get(int bank, uint32_t address) const;
  void set(int bank, uint32_t address, uint8_t value);
  void setBlock(int bank, uint32_t address, const uint8_t* data, int size);
  void getBlock(int bank, uint32_t address, uint8_t* out, int size) const;
  uint16_t get16(int bank, uint32_t address) const;       // little-endian
  void set16(int bank, uint32_t address, uint16_t value);  // little-endian
  void clear() { bytes_.clear(); }

  // Stored bytes in (bank, address) order; key = bank << 24 | address.
  const std::map<uint32_t, uint8_t>& bytes() const { return bytes_; }
  static uint32_t key(int bank, uint32_t address) {
    return (static_cast<uint32_t>(bank & 7) << 24) | (address & 0xFFFFFF);
  }

 private:
  std::map<uint32_t, uint8_t> bytes_;
};
