// Reads an INI file (section headers "[name]", key lines "key=value", ";"
// comments, CR / LF / CR LF line ends) into memory once and answers lookups
// of a key in a section. Works on bytes: names are compared byte for byte and
// values copied unchanged, whatever the file's code page.
#pragma once
#include <cstdint>
#include <cstdio>

#include "store/ini_entry.h"
#include "util/my_collection.h"

class TIniReader {
 public:
  static constexpr int32_t kLineMax = 511;      // longest line that is parsed
  static constexpr int32_t kNameMax = 499;      // longest section name kept
  static constexpr int32_t kKeyMax = 499;       // longer keys are ignored
  static constexpr int32_t kValueMax = 500;     // longer values are cut
  static constexpr int32_t kReadSize = 600000;  // bytes per file read
  // The most of a file that is read. The tool's own file is one line; a file
  // far larger is not a settings file, and reading it whole only costs time
  // and memory before the window appears.
  static constexpr int32_t kFileMax = 4 * kReadSize;

  TIniReader();
  ~TIniReader();
  TIniReader(const TIniReader&) = delete;
  TIniReader& operator=(const TIniReader&) = delete;

  // 1: path opened and parsed (its sections and entries are added to those
  // already held; past kFileMax bytes the file is not read); 0: it cannot be
  // opened or is not a regular file (a FIFO or a device is never read). The file stays open until
  // CloseFile or destruction.
  int Open(const char* path);
  // 1: the value of key in section copied to dest (which holds 501 bytes);
  // 0: key empty or not in the section; -3: section empty or not there.
  // dest is written only on 1.
  int GetString(const char* section, const char* key, char* dest);
  // Index of the first section with exactly that name, or -1.
  int32_t SectionIndex(const char* name);
  // fclose's result, or 0 when no file is open.
  int CloseFile();
  // Frees every entry and section name.
  void Clear();

 private:
  void ParseLine(const char* line, int32_t length);
  void ParseData(const char* data, size_t size);
  void AddSection(const char* line, int32_t length);
  void AddEntry(const char* line, int32_t length);

  char lineBuffer[kLineMax + 1];
  FILE* file;
  char* readBuffer;
  TMyCollection* entries;   // of IniEntry
  TMyCollection* sections;  // of section names
  int32_t sectionCount;
  // The line collector; it lives across reads, so a line that straddles two
  // reads is joined.
  int32_t lineLength;
  bool collecting;  // false after ";" until the line ends
  bool overlong;    // the line passed kLineMax bytes: it is skipped whole
};
