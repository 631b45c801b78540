#include "util/my_collection.h"

#include <cstdlib>
#include <cstring>

TMyCollection::TMyCollection(int32_t capacity, int32_t delta)
    : items(nullptr), count(0), capacity(capacity), delta(delta) {}

TMyCollection::~TMyCollection() { free(items); }

bool TMyCollection::Reserve() {
  if (items && count < capacity) return true;
  // A step below one would never make room; treat it as one.
  int32_t newCapacity = capacity;
  if (items || newCapacity <= count) newCapacity = count + (delta > 0 ? delta : 1);
  void** grown = static_cast<void**>(realloc(items, sizeof(void*) * size_t(newCapacity)));
  if (!grown) return false;  // the collection stays as it was
  items = grown;
  capacity = newCapacity;
  return true;
}

void TMyCollection::Add(void* item) {
  if (!Reserve()) return;
  items[count++] = item;
}

void* TMyCollection::At(int32_t index) const { return Valid(index) ? items[index] : nullptr; }

void TMyCollection::FreeAll() {
  for (int32_t i = 0; i < count; i++) {
    free(items[i]);
    items[i] = nullptr;
  }
  count = 0;
}

void TMyCollection::FreeAt(int32_t index) {
  if (!Valid(index)) return;
  free(items[index]);
  items[index] = nullptr;
}

void TMyCollection::Insert(void* item, int32_t index) {
  if (index == count) {
    Add(item);
    return;
  }
  if (!Valid(index) || !Reserve()) return;
  memmove(&items[index + 1], &items[index], sizeof(void*) * size_t(count - index));
  items[index] = item;
  count++;
}

void TMyCollection::Swap(int32_t i, int32_t j) {
  if (!Valid(i) || !Valid(j)) return;
  void* t = items[i];
  items[i] = items[j];
  items[j] = t;
}

void TMyCollection::Clear() { count = 0; }

void TMyCollection::RemoveAt(int32_t index) {
  if (!Valid(index)) return;
  memmove(&items[index], &items[index + 1], sizeof(void*) * size_t(count - index - 1));
  count--;
}

void TMyCollection::FreeRemoveAt(int32_t index) {
  if (!Valid(index)) return;
  free(items[index]);
  RemoveAt(index);
}
