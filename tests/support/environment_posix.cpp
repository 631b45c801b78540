#include "tests/support/environment.h"

#include <cstdlib>

void SetEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

void UnsetEnvironment(const char* name) { unsetenv(name); }
