// Runs part of a test as an ordinary user, for checks that the owner of
// every right would pass anyway (root writes through a read-only file mode).
// On Linux as root: in a child process as user nobody, who must then be able
// to reach the working folder. Elsewhere: here, as the user the test runs as.
#pragma once

// body's result (0 to 255), or -1 when it could not be run.
int AsOrdinaryUser(int (*body)());
