// A growable array of untyped pointers with a fixed growth step. Items are
// plain heap blocks (malloc/strdup): the Free* operations release them with
// free(); every other operation, and the destructor, only forgets them.
#pragma once
#include <cstdint>

class TMyCollection {
 public:
  // No array is allocated until the first Add; capacity slots are taken then,
  // and every later growth adds delta slots.
  TMyCollection(int32_t capacity, int32_t delta);
  virtual ~TMyCollection();  // frees the array, never the items
  TMyCollection(const TMyCollection&) = delete;
  TMyCollection& operator=(const TMyCollection&) = delete;

  virtual void Add(void* item);
  // The item at index, or nullptr for an index outside 0 .. count - 1.
  void* At(int32_t index) const;
  // Frees every item still held and empties the collection; capacity and
  // array stay.
  void FreeAll();
  // Frees the item at index and leaves an empty slot; count unchanged.
  void FreeAt(int32_t index);
  // Stores item at index, moving the items from index on one place up.
  // index == count appends; an index outside 0 .. count is ignored.
  void Insert(void* item, int32_t index);
  void Swap(int32_t i, int32_t j);
  // Forgets all items without freeing them.
  void Clear();
  // Removes the item at index (not freed), moving the following ones down.
  void RemoveAt(int32_t index);
  // Frees the item at index, then removes it.
  void FreeRemoveAt(int32_t index);

  int32_t Count() const { return count; }

 private:
  // Makes room for one more item; false when memory runs out.
  bool Reserve();
  bool Valid(int32_t index) const { return index >= 0 && index < count; }

  void** items;
  int32_t count;
  int32_t capacity;
  int32_t delta;
};
