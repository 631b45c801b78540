// Why a file or device could not be used, in words an operator reads in his
// own language: the common system errors and the tool's own reasons
// (util/regular_file.h) come from the catalog; any other error keeps the
// system's words.
#pragma once

// code: an errno value, kErrorNotRegularFile or kErrorSymbolicLink.
const char* SystemErrorText(int code);
