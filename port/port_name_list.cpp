#include "port/port_name_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/discovery.h"
#include "util/sort_range.h"

PortNameListType PortNameList;

void PortNameAppend(const char* name, size_t length) {
  if (PortNameListFull()) return;
  // Cut short, a name would open another port than the one meant
  // (TCPC_127.0.0.1:50011 would reach port 5001): it is left out instead.
  if (length > kListedNameSize - 1) {
    std::fprintf(stderr, "tarvo_6: port name \"%.*s\" is longer than %d characters; not listed\n",
                 static_cast<int>(length), name, kListedNameSize - 1);
    return;
  }
  char* entry = PortNameList.names[PortNameList.count++];
  std::memcpy(entry, name, length);
  entry[length] = '\0';
}

bool PortNameListFull() { return PortNameList.count >= kPortNameListSize; }

namespace {

char pivot[kListedNameSize];

bool IsComName(const char* name) { return std::strncmp(name, "COM", 3) == 0; }

int CompareNames(const char* a, const char* b) {
  if (IsComName(a) && IsComName(b)) {
    int numberA = std::atoi(a + 3);
    int numberB = std::atoi(b + 3);
    return numberA < numberB ? -1 : numberA > numberB ? 1 : 0;
  }
  return std::strcmp(a, b);
}

void SetPivot(int32_t pos) { std::memcpy(pivot, PortNameList.names[pos], kListedNameSize); }

int CompareWithPivot(int32_t pos) { return CompareNames(PortNameList.names[pos], pivot); }

void Exchange(int32_t a, int32_t b) {
  char held[kListedNameSize];
  std::memcpy(held, PortNameList.names[a], kListedNameSize);
  std::memcpy(PortNameList.names[a], PortNameList.names[b], kListedNameSize);
  std::memcpy(PortNameList.names[b], held, kListedNameSize);
}

}  // namespace

void PortNameListSort() {
  if (PortNameList.count < 2) return;
  SortSetCallbacks(SetPivot, CompareWithPivot, Exchange);
  SortRange(0, PortNameList.count - 1);
}
