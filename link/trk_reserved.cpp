// Operations the link offers in its interface but whose exchange with the
// controller this program does not know. None of them puts anything on the
// wire: each answers at once with a failure, and the state it owns stays as
// it was, so nothing the controller never asked for is ever sent.
#include "link/trk.h"

// No control bit is read: controlBit stays -1 and *out is not written.
int Trk::readControlBit(int*) { return kTrkFailed; }

int Trk::writeControlBit(int) { return kTrkFailed; }

int Trk::applyCorrection(int) { return kTrkFailed; }

int Trk::applyCorrectionLegacy(int) { return kTrkFailed; }

// No retries are made either: resetRetries stays 0.
int Trk::resetLink() { return kTrkFailed; }

// Its only failure result is -3, kTrkRefused, though nothing was asked of the
// controller; totals and expected are not touched.
int Trk::readAllTotals(int, int32_t*, int32_t*) { return kTrkRefused; }
