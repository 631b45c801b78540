#include "tests/support/environment.h"

#include <cstdlib>

// The C runtime's own copy of the environment, the one std::getenv reads; an
// empty value removes the variable.
void SetEnvironment(const char* name, const char* value) { _putenv_s(name, value); }

void UnsetEnvironment(const char* name) { _putenv_s(name, ""); }
