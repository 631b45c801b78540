// What a soak run did to the simulated controller, judged from the
// simulator's own trace and memory image files, never from the tool's view:
//   - every calibration record (and calibration counter) the tool wrote was
//     computed from bytes the controller actually sent it in full: a complete
//     read reply of that record, or the tool's own earlier write that the
//     controller accepted;
//   - the twentieth byte of a record write (variant 1) is the byte after the
//     record that the controller sent along with it, unchanged;
//   - the commit byte followed, within one Write, a counter write that the
//     controller took after the last record write, and never a counter write
//     that failed (a record write that failed before the counter is allowed:
//     the records taken before it are counted and committed);
//   - no write at all (not even the password) followed a Read whose status
//     byte or main settings did not come in full, until the next Read;
//   - after the run the memory differs from where it started only in records
//     and counters, each holding the last value the tool wrote there.
// A variant-1 controller (the soak's) is assumed, with its groups' records
// one after another from 0x1000 and their common blocks from 0x4000.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SoakFindings {
  int requests = 0;
  int faults = 0;               // "fault:" marks in the trace
  std::map<std::string, int> faultsByKind;
  int recordWrites = 0;         // calibration record writes received
  int counterWrites = 0;
  int commits = 0;
  int failedReads = 0;          // Reads whose status or main settings did not come
  std::vector<std::string> violations;
};

// Entered values the tool may have computed a record from ("10.1", ...).
SoakFindings CheckSoakTrace(const std::string& tracePath, const std::vector<std::string>& entered,
                            int nozzles, int groups = 1);
// Adds the violations of the final image against the initial one, given the
// trace's writes (CheckSoakTrace must have run on the same trace).
void CheckSoakImage(const std::string& initialImage, const std::string& finalImage,
                    const std::string& tracePath, int nozzles, SoakFindings* findings,
                    int groups = 1);
