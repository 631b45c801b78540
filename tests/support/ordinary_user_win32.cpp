#include "tests/support/ordinary_user.h"

// Windows has no user to turn into here: the test's own account it is.
int AsOrdinaryUser(int (*body)()) { return body(); }
