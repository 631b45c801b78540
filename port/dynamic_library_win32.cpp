#include "port/dynamic_library.h"

#include <windows.h>

void* DynamicLibraryLoad(const char* fileName) {
  return reinterpret_cast<void*>(LoadLibraryA(fileName));
}

void* DynamicLibrarySymbol(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
