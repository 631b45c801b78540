// What a step of a link exchange answers (Trk's operations, and the loops
// that repeat a step until it ends). The numbers are the link's own and stay
// as they are: the journal writes an unnamed one as "failed (result N)", and
// code built against the link has always compared them.
#pragma once

enum TrkResult : int {
  kTrkPending = 0,  // the exchange is under way: call again
  kTrkDone = 1,
  // The controller answered with something other than success (a stray or
  // garbled one-byte answer, a status record with a bad checksum or nozzle
  // code), or the exchange cannot be made at all (a count the header cannot
  // carry, a position without a nozzle code, an operation this program does
  // not know).
  kTrkFailed = -1,
  kTrkRefused = -3,  // the controller answered 0xFF
  // A reply with a bad checksum or bad BCD digits, or more than the one
  // acknowledgement byte of a write.
  kTrkMalformedReply = -4,
  kTrkNoReply = -6,  // no complete reply in time, or the line is lost
};
// The numbers are fixed: a renumbering must fail here, not in a journal.
static_assert(kTrkPending == 0 && kTrkDone == 1 && kTrkFailed == -1 && kTrkRefused == -3 &&
                  kTrkMalformedReply == -4 && kTrkNoReply == -6,
              "link results keep their numbers");

// What the last status poll said about the link (Trk::linkState).
enum TrkLinkState : int {
  kLinkUp = 1,
  kLinkControllerError = 0,   // the poll ended kTrkFailed
  kLinkNoAnswer = -1,         // kTrkNoReply
  kLinkMalformed = -2,        // kTrkMalformedReply
};
static_assert(kLinkUp == 1 && kLinkControllerError == 0 && kLinkNoAnswer == -1 &&
                  kLinkMalformed == -2,
              "link states keep their numbers");
