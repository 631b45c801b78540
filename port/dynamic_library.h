// Run-time loading of a shared library and lookup of its functions by name.
#pragma once

// Null when the library cannot be loaded. A loaded library stays loaded for
// the life of the process.
void* DynamicLibraryLoad(const char* fileName);
// Null when the library lacks the name.
void* DynamicLibrarySymbol(void* library, const char* name);
