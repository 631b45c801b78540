#include "store/ini_reader.h"

#include <cstdlib>
#include <cstring>

#include "util/regular_file.h"

// Only the space counts as a blank; a tab is part of the text.
static const char kBlank = ' ';

static char* CopyText(const char* text, int32_t length) {
  char* copy = static_cast<char*>(malloc(size_t(length) + 1));
  if (!copy) return nullptr;
  memcpy(copy, text, size_t(length));
  copy[length] = '\0';
  return copy;
}

TIniReader::TIniReader()
    : file(nullptr),
      readBuffer(static_cast<char*>(malloc(kReadSize))),
      entries(new TMyCollection(50, 1)),
      sections(new TMyCollection(10, 1)),
      sectionCount(0),
      lineLength(0),
      collecting(true),
      overlong(false) {
  lineBuffer[0] = '\0';
}

TIniReader::~TIniReader() {
  CloseFile();
  free(readBuffer);
  Clear();
  delete entries;
  delete sections;
}

int TIniReader::Open(const char* path) {
  CloseFile();
  if (!path || !readBuffer) return 0;
  file = OpenRegularFile(path, "rb");
  if (!file) return 0;
  lineLength = 0;
  collecting = true;
  overlong = false;
  // Reading stops at the end of the file, at a read error or at kFileMax.
  size_t left = kFileMax;
  while (left > 0) {
    const size_t want = left < size_t(kReadSize) ? left : size_t(kReadSize);
    size_t got = fread(readBuffer, 1, want, file);
    if (got == 0) break;
    ParseData(readBuffer, got);
    left -= got;
    if (got < want) break;
  }
  // A last line without a line end still counts.
  if (lineLength > 0 && !overlong) ParseLine(lineBuffer, lineLength);
  lineLength = 0;
  return 1;
}

void TIniReader::ParseData(const char* data, size_t size) {
  for (size_t k = 0; k < size; k++) {
    char c = data[k];
    if (c == '\r' || c == '\n') {
      // Empty lines are skipped, which also makes CR LF one line end.
      if (lineLength > 0 && !overlong) ParseLine(lineBuffer, lineLength);
      lineLength = 0;
      collecting = true;
      overlong = false;
    } else if (c == ';') {
      collecting = false;  // the rest of the line is a comment
    } else if (collecting && !overlong) {
      // A line too long to be one the program writes is damaged or foreign:
      // dropping it whole is safer than reading its tail as a line of its own.
      if (lineLength == kLineMax) {
        overlong = true;
      } else {
        lineBuffer[lineLength++] = c;
      }
    }
  }
}

void TIniReader::ParseLine(const char* line, int32_t length) {
  if (line[0] == '[')
    AddSection(line, length);
  else
    AddEntry(line, length);
}

// "[name]": the name runs to the first "]" or the end of the line; nothing is
// trimmed and a repeated name becomes a new section of its own.
void TIniReader::AddSection(const char* line, int32_t length) {
  const char* name = line + 1;
  int32_t nameLength = 0;
  while (1 + nameLength < length && name[nameLength] != ']' && nameLength < kNameMax)
    nameLength++;
  char* copy = CopyText(name, nameLength);
  if (!copy) return;
  sections->Add(copy);
  sectionCount++;
}

// "key=value": the key runs to the first "=", the value is everything after.
// Both lose trailing blanks; the key keeps at least its first byte.
void TIniReader::AddEntry(const char* line, int32_t length) {
  const char* equals = static_cast<const char*>(memchr(line, '=', size_t(length)));
  if (!equals) return;
  int32_t keyLength = int32_t(equals - line);
  if (keyLength > kKeyMax) return;  // measured before its blanks are trimmed
  while (keyLength > 1 && line[keyLength - 1] == kBlank) keyLength--;

  const char* value = equals + 1;
  int32_t valueLength = length - int32_t(value - line);
  if (valueLength > kValueMax) valueLength = kValueMax;
  while (valueLength > 0 && value[valueLength - 1] == kBlank) valueLength--;

  IniEntry* entry = static_cast<IniEntry*>(malloc(sizeof(IniEntry)));
  if (!entry) return;
  entry->section = sectionCount - 1;
  entry->key = CopyText(line, keyLength);
  entry->value = CopyText(value, valueLength);
  if (!entry->key || !entry->value) {
    free(entry->key);
    free(entry->value);
    free(entry);
    return;
  }
  entries->Add(entry);
}

int TIniReader::GetString(const char* section, const char* key, char* dest) {
  if (!section || !section[0]) return -3;
  if (!key || !key[0]) return 0;
  int32_t index = SectionIndex(section);
  if (index < 0) return -3;
  for (int32_t i = 0; i < entries->Count(); i++) {
    const IniEntry* e = static_cast<const IniEntry*>(entries->At(i));
    if (e && e->section == index && strcmp(e->key, key) == 0) {
      if (!dest) return 0;
      strcpy(dest, e->value);
      return 1;
    }
  }
  return 0;
}

int32_t TIniReader::SectionIndex(const char* name) {
  if (!name) return -1;
  for (int32_t i = 0; i < sections->Count(); i++) {
    const char* s = static_cast<const char*>(sections->At(i));
    if (s && strcmp(s, name) == 0) return i;
  }
  return -1;
}

int TIniReader::CloseFile() {
  if (!file) return 0;
  int result = fclose(file);
  file = nullptr;
  return result;
}

void TIniReader::Clear() {
  for (int32_t i = 0; i < entries->Count(); i++) {
    IniEntry* e = static_cast<IniEntry*>(entries->At(i));
    if (!e) continue;
    free(e->key);
    free(e->value);
  }
  entries->FreeAll();
  sections->FreeAll();
  sectionCount = 0;
}
