#include "port/dynamic_library.h"

#include <dlfcn.h>

void* DynamicLibraryLoad(const char* fileName) {
  // RTLD_LOCAL: the library's names must not resolve other libraries' calls.
  return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

void* DynamicLibrarySymbol(void* library, const char* name) {
  return library != nullptr ? dlsym(library, name) : nullptr;
}
