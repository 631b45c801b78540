// Setting and removing an environment variable of the test's own process, as
// the program's std::getenv then sees it.
#pragma once

void SetEnvironment(const char* name, const char* value);
void UnsetEnvironment(const char* name);
