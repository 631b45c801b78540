// Compiled with a library's include path: OWN_HEADER, one of the library's
// own headers, must be found; UPWARD_HEADER, one of a library above it, must
// not be.
#include OWN_HEADER
#ifdef UPWARD_HEADER
#include UPWARD_HEADER
#endif
