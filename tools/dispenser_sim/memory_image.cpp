#include "tools/dispenser_sim/memory_image.h"

uint8_t MemoryImage::get(int bank, uint32_t address) const {
  auto it = bytes_.find(key(bank, address));
  return it == bytes_.end() ? 0 : it->second;
}

void MemoryImage::set(int bank, uint32_t address, uint8_t value) {
  bytes_[key(bank, address)] = value;
}

// Addresses wrap within 24 bits, as the controller's address counter does.
void MemoryImage::setBlock(int bank, uint32_t address, const uint8_t* data, int size) {
  for (int i = 0; i < size; ++i) set(bank, (address + i) & 0xFFFFFF, data[i]);
}

void MemoryImage::getBlock(int bank, uint32_t address, uint8_t* out, int size) const {
  for (int i = 0; i < size; ++i) out[i] = get(bank, (address + i) & 0xFFFFFF);
}

uint16_t MemoryImage::get16(int bank, uint32_t address) const {
  return static_cast<uint16_t>(get(bank, address) | (get(bank, address + 1) << 8));
}

void MemoryImage::set16(int bank, uint32_t address, uint16_t value) {
  set(bank, address, value & 0xFF);
  set(bank, address + 1, value >> 8);
}
