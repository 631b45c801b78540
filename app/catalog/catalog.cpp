// The message catalog: a GNU gettext .mo file held in memory, looked up by a
// binary search inside the range of message ids that share the id's first
// byte.
//
// Damaged files are refused, never half loaded. The whole file is read first
// and every size and offset is checked against its length before the
// previous catalog is touched, so a refused file leaves the previous catalog
// (or none) in place, nothing is read outside the file, and no allocation is
// larger than the file's own size can account for. Results of CatalogLoad:
//    1  loaded
//   -1  the file cannot be opened or read
//   -2  shorter than the 28-byte header
//   -3  the magic number is neither byte order's
//   -4  damaged: the string count, a table or the strings reach beyond the
//       end of the file
//   -5  out of memory
//
// A translation whose printf conversions differ from its id's is never
// answered: the id stands in for it, so no catalog can make a format read
// arguments it was not given.
//
// Of each table only the first string's offset is honoured: the strings are
// read back to back from there, each length + 1 bytes, as msgfmt lays them
// out. A catalog with padded or reordered strings thus loads wrong texts, but
// each string is terminated where its length says, whatever byte the file
// has there.
#include "app/catalog/catalog.h"

#include "util/format_conversions.h"
#include "util/regular_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t kMagic = 0x950412DE;
const uint32_t kMagicSwapped = 0xDE120495;
const size_t kHeaderSize = 28;
const int kIndexSize = 128;  // first bytes 0x80 and above are never indexed

struct MoDescriptor {
  uint32_t length;
  uint32_t offset;
};

struct Catalog {
  Catalog() {
    for (int i = 0; i < kIndexSize; i++) first[i] = last[i] = -1;
  }
  int32_t count = 0;
  MoDescriptor* idTable = nullptr;
  MoDescriptor* translationTable = nullptr;
  char** ids = nullptr;
  char** translations = nullptr;
  // Lowest and highest index of an id starting with each byte; -1 in first
  // marks a byte no id starts with.
  int32_t first[kIndexSize];
  int32_t last[kIndexSize];
};

Catalog catalog;

void FreeStrings(char** strings, int32_t count) {
  if (!strings) return;
  for (int32_t i = 0; i < count; i++) free(strings[i]);
  free(strings);
}

void FreeCatalog(Catalog& c) {
  free(c.idTable);
  free(c.translationTable);
  FreeStrings(c.ids, c.count);
  FreeStrings(c.translations, c.count);
  c.idTable = c.translationTable = nullptr;
  c.ids = c.translations = nullptr;
  c.count = 0;
  for (int i = 0; i < kIndexSize; i++) c.first[i] = -1;
}

// Reads the whole file; nullptr when it cannot be opened or read, or is not
// a regular file (a FIFO would block the start, a device never end).
uint8_t* ReadFile(const char* path, size_t* size) {
  FILE* f = OpenRegularFile(path, "rb");
  if (!f) return nullptr;
  uint8_t* data = nullptr;
  long length = -1;
  if (fseek(f, 0, SEEK_END) == 0) length = ftell(f);
  if (length >= 0 && fseek(f, 0, SEEK_SET) == 0) {
    data = static_cast<uint8_t*>(malloc(size_t(length) + 1));  // + 1: never malloc(0)
    if (data && fread(data, 1, size_t(length), f) != size_t(length)) {
      free(data);
      data = nullptr;
    }
  }
  fclose(f);
  if (data) *size = size_t(length);
  return data;
}

// A view of the file that reads 32-bit fields in the file's byte order.
struct MoFile {
  const uint8_t* data;
  size_t size;
  bool swapped;

  uint32_t Word(size_t at) const {
    uint32_t w;
    memcpy(&w, data + at, 4);
    return swapped ? __builtin_bswap32(w) : w;
  }
};

// Checks the table of count descriptors at tableOffset and the strings they
// describe, laid back to back from the first one's offset.
bool TableFits(const MoFile& f, uint32_t count, uint32_t tableOffset) {
  if (count == 0) return true;
  if (uint64_t(tableOffset) + uint64_t(count) * 8 > f.size) return false;
  uint64_t end = f.Word(tableOffset + 4);  // the first string's offset
  for (uint32_t i = 0; i < count; i++) {
    end += uint64_t(f.Word(tableOffset + size_t(i) * 8)) + 1;
    if (end > f.size) return false;
  }
  return true;
}

// Loads one table into descriptors and strings; false when memory runs out.
bool LoadTable(const MoFile& f, int32_t count, uint32_t tableOffset, MoDescriptor** table,
               char*** strings) {
  *table = static_cast<MoDescriptor*>(calloc(size_t(count) + 1, sizeof(MoDescriptor)));
  *strings = static_cast<char**>(calloc(size_t(count) + 1, sizeof(char*)));
  if (!*table || !*strings) return false;
  for (int32_t i = 0; i < count; i++) {
    (*table)[i].length = f.Word(tableOffset + size_t(i) * 8);
    (*table)[i].offset = f.Word(tableOffset + size_t(i) * 8 + 4);
  }
  size_t at = count > 0 ? (*table)[0].offset : 0;
  for (int32_t i = 0; i < count; i++) {
    size_t length = (*table)[i].length;
    char* s = static_cast<char*>(malloc(length + 1));
    if (!s) return false;
    memcpy(s, f.data + at, length);
    s[length] = '\0';
    (*strings)[i] = s;
    at += length + 1;
  }
  return true;
}

void BuildIndex(Catalog& c) {
  for (int i = 0; i < kIndexSize; i++) c.first[i] = c.last[i] = -1;
  int previous = -1;
  for (int32_t i = 0; i < c.count; i++) {
    int b = uint8_t(c.ids[i][0]);
    if (b >= kIndexSize) continue;  // such ids are answered with themselves
    if (b != previous) c.first[b] = i;
    c.last[b] = i;
    previous = b;
  }
}

int ParseCatalog(const MoFile& f, Catalog& c) {
  uint32_t count = f.Word(8);
  uint32_t idOffset = f.Word(12);
  uint32_t translationOffset = f.Word(16);
  // Each string takes at least its NUL, so a count the file cannot hold is
  // refused before anything is allocated for it.
  if (count > f.size || !TableFits(f, count, idOffset) ||
      !TableFits(f, count, translationOffset))
    return -4;
  c.count = int32_t(count);
  if (!LoadTable(f, c.count, idOffset, &c.idTable, &c.ids) ||
      !LoadTable(f, c.count, translationOffset, &c.translationTable, &c.translations))
    return -5;
  BuildIndex(c);
  return 1;
}

}  // namespace

int CatalogLoad(const char* fileName, const char* language) {
  if (!fileName || !language) return -1;
  char path[4096];
  int n = snprintf(path, sizeof path, "%s/%s", language, fileName);
  if (n < 0 || size_t(n) >= sizeof path) return -1;

  size_t size = 0;
  uint8_t* data = ReadFile(path, &size);
  if (!data) return -1;
  int result;
  if (size < kHeaderSize) {
    result = -2;
  } else {
    uint32_t magic;
    memcpy(&magic, data, 4);
    if (magic != kMagic && magic != kMagicSwapped) {
      result = -3;
    } else {
      MoFile f{data, size, magic == kMagicSwapped};
      Catalog loaded;
      result = ParseCatalog(f, loaded);
      if (result == 1) {
        FreeCatalog(catalog);
        catalog = loaded;
      } else {
        FreeCatalog(loaded);
      }
    }
  }
  free(data);
  return result;
}

void CatalogFree() { FreeCatalog(catalog); }

const char* tr(const char* id) {
  if (!id || catalog.count == 0) return id;
  int b = uint8_t(id[0]);
  if (b >= kIndexSize || catalog.first[b] < 0) return id;
  int32_t low = catalog.first[b];
  int32_t high = catalog.last[b];
  while (low <= high) {
    int32_t middle = (low + high) / 2;
    int cmp = strcmp(id, catalog.ids[middle]);
    // Formats are filled in with the id's arguments: a translation that
    // would read them differently (a damaged or careless catalog) is not used.
    if (cmp == 0) {
      const char* translation = catalog.translations[middle];
      return SameFormatConversions(id, translation) ? translation : id;
    }
    if (cmp > 0)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return id;
}
