// Fault-injection soak: the real window and its operator procedures, run over
// and over against dispenser-sim with its fault injection on. Each cycle does
// what a field engineer does between calibrations (reopens the port, turns to
// the other group's Address, or meets a controller that does not answer a
// Read), presses Write on what the window then shows, reads until a Read gets
// through (pressing Write after each that does not), edits two to four
// nozzles and writes them; every third cycle also runs a 10 l test fill.
// Alert boxes are taken instead of shown. A Write after a changed port or
// Address, or after a Read that failed, must put no frame on the line. At
// the end the simulator's trace and memory image are judged
// (tests/soak/soak_check.h), and the run fails when a procedure ran past its
// time-outs, or a check found a violation.
//
//   procedure_soak [--seconds S] [--seed N] [--rate P | --exchange-rate P]
//                  [--no-pace] [--keep DIR]
//
// --rate is the probability of each of the six fault kinds (default 0.03).
// --exchange-rate is the probability that an exchange meets a fault, of a
// kind drawn evenly: at a high rate per kind almost no Read gets its status,
// main settings and counter through (at 0.25 each, one in a hundred), so no
// Write would ever be reached. --keep copies the trace and the images to DIR.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <FL/Fl.H>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/window/alert.h"
#include "app/core/app_state.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/startup.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/app/private_display.h"
#include "tests/soak/soak_check.h"
#include "tests/support/dispenser_sim.h"
#include "tests/support/scratch_dir.h"
#include "tools/dispenser_sim/image_file.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The window the run drives and what its procedures work with.
AppState TheState;
xMainForm* TheForm = nullptr;
AppState& State() { return TheState; }
xMainForm& Form() { return *TheForm; }

constexpr int kNozzles = 4;
constexpr int kGroups = 2;
const char* const kGroupAddresses[kGroups] = {"1", "2"};
// An operator reads again when a Read does not get through; after this many
// the cycle gives up and the next one begins.
constexpr int kReadAttempts = 12;
const char kPassword[] = "1234";
const std::vector<std::string> kEntered = {"10.1", "9.9"};

struct Options {
  int seconds = 30;
  int seed = 1;
  double rate = 0.03;
  bool pace = true;
  std::string keep;
};

// The link the procedures reach, counting what became of each exchange.
class CountingTrk : public Trk {
 public:
  using Trk::Trk;
  int exchanges = 0;
  int failed = 0;
  int calls = 0;   // every step of every exchange: the first one puts a frame on the line

  int readBlock(int a, int bank, int count, uint8_t* dest) override {
    return counted(Trk::readBlock(a, bank, count, dest));
  }
  int writeBlock(int a, int bank, const uint8_t* data, int size) override {
    return counted(Trk::writeBlock(a, bank, data, size));
  }
  int nozzleCommand(int nozzle, NozzleCommand* cmd) override {
    return counted(Trk::nozzleCommand(nozzle, cmd));
  }
  int collectStatus(int unused) override { return counted(Trk::collectStatus(unused)); }

 private:
  int counted(int result) {
    ++calls;
    if (result != kTrkPending) ++exchanges;
    if (result < 0) ++failed;
    return result;
  }
};

// Ends the run when a procedure is still busy past the sum of the time-outs
// of everything it may wait for: the tool has hung.
class Watchdog {
 public:
  Watchdog() : thread_([this] { watch(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  void arm(const char* what, int ms) {
    what_ = what;
    deadline_ = now() + ms;
  }
  void disarm() { deadline_ = 0; }

 private:
  static int64_t now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  }
  void watch() {
    while (!stop_) {
      int64_t deadline = deadline_;
      if (deadline != 0 && now() > deadline) {
        std::fprintf(stderr, "FAIL: %s still running past its time-outs: the tool hangs\n",
                     what_.load());
        std::fflush(stderr);
        _exit(3);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> deadline_{0};
  std::atomic<const char*> what_{""};
  std::thread thread_;
};

std::map<std::string, int> Alerts;
int AlertsThisProcedure = 0;
void TakeAlert(const char* text) {
  ++Alerts[text];
  ++AlertsThisProcedure;
}

// No reply, late, cut short, bad checksum, noise after the reply, and
// refused (writes and nozzle commands only).
constexpr int kFaultKinds = 6;

// Each kind's probability such that an exchange meets at least one with
// probability exchangeRate.
double RatePerKind(double exchangeRate) {
  return 1.0 - std::pow(1.0 - exchangeRate, 1.0 / kFaultKinds);
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--seconds" && more) o->seconds = std::atoi(argv[++i]);
    else if (a == "--seed" && more) o->seed = std::atoi(argv[++i]);
    else if (a == "--rate" && more) o->rate = std::atof(argv[++i]);
    else if (a == "--exchange-rate" && more) o->rate = RatePerKind(std::atof(argv[++i]));
    else if (a == "--no-pace") o->pace = false;
    else if (a == "--keep" && more) o->keep = argv[++i];
    else return false;
  }
  return o->seconds > 0;
}

std::vector<std::string> SimArgs(const Options& o, const std::string& image, const std::string& trace) {
  const std::string p = std::to_string(o.rate);
  std::vector<std::string> args = {"--pty", "--image", image, "--save-each-write",
                                   "--trace-file", trace, "--seed", std::to_string(o.seed),
                                   "--password", kPassword, "--rate", "20000", "--hold-ms", "300",
                                   "--fault-no-reply", p, "--fault-late", p, "--fault-truncate", p,
                                   "--fault-checksum", p, "--fault-refuse", p, "--fault-noise", p};
  if (o.pace) args.push_back("--pace");
  return args;
}

// Pumps the window's events (the fill timer runs from here) for a while.
void Pump(double seconds) {
  auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < until) Fl::wait(0.005);
}

struct Counts {
  int cycles = 0, reads = 0, writes = 0, fills = 0;
  int readErrors = 0, writeErrors = 0, fillErrors = 0;
  int portChanges = 0, addressChanges = 0, readsFailedOnPurpose = 0;
  int writesRefused = 0;   // Writes pressed while nothing read was current
  int writesAfterGoodRead = 0;
};

// The soak's own verdicts, from the tool's side of the line.
std::vector<std::string> SoakViolations;

// The operator's view of a Read: it got through when it showed no alert, the
// state box says "Connected" and the common counter came.
bool ReadGotThrough() {
  return AlertsThisProcedure == 0 && std::strcmp(Form().stateBox->label(), "Connected") == 0 &&
         Form().commonCounterInput->value()[0] != '?';
}

bool ReadShowedTrouble() {
  if (!ReadGotThrough()) return true;
  for (int n = 1; n <= kNozzles; ++n)
    if (Form().nozzleCoefficientInputs[n]->value()[0] == '?') return true;
  return false;
}

// The operator types new values over `count` nozzles from `first` on,
// whatever the window shows there ("???" and greyed values too).
void TypeEdits(int cycle, int first, int count) {
  for (int k = 0; k < count; ++k) {
    const int n = (first + k) % kNozzles + 1;
    Fl_Input* input = Form().nozzleCoefficientInputs[n];
    input->value(kEntered[size_t(cycle + k) % kEntered.size()].c_str());
    input->do_callback();
  }
}

void ReadOnce(Watchdog& dog, Counts& counts) {
  ++counts.reads;
  AlertsThisProcedure = 0;
  dog.arm("Read", 20000);
  ReadController(Form());
  dog.disarm();
  if (ReadShowedTrouble()) ++counts.readErrors;
  Pump(0.02);
}

// Write pressed where nothing read belongs to the connected controller: no
// frame may go out, not even the password.
void WriteExpectingNothing(CountingTrk& link, Watchdog& dog, Counts& counts, const char* why) {
  ++counts.writes;
  ++counts.writesRefused;
  const int callsBefore = link.calls;
  AlertsThisProcedure = 0;
  dog.arm("Write", 30000);
  WriteCoefficients(Form());
  dog.disarm();
  if (link.calls != callsBefore) {
    SoakViolations.push_back(std::string("Write put frames on the line ") + why + " (cycle " +
                             std::to_string(counts.cycles) + ")");
  }
  if (AlertsThisProcedure == 0) {
    SoakViolations.push_back(std::string("Write said nothing ") + why);
  }
  Pump(0.02);
}

void RunFill(int n, Watchdog& dog, Counts& counts) {
  ++counts.fills;
  AlertsThisProcedure = 0;
  dog.arm("Load (start of a test fill)", 6000);
  LoadNozzle(Form(), n - 1);
  dog.arm("the test fill", 60000);
  // Followed by the fill timer until the nozzle is idle; a fill that does not
  // end (its preset lost with its reply) is stopped with the button.
  auto started = Clock::now();
  bool stopped = false;
  while (State().activeNozzle != 0) {
    Fl::wait(0.005);
    if (!stopped && Clock::now() - started > std::chrono::seconds(15)) {
      LoadNozzle(Form(), n - 1);
      stopped = true;
    }
  }
  dog.disarm();
  if (AlertsThisProcedure > 0 || stopped) ++counts.fillErrors;
}

// Between calibrations: reopen the port, turn to the other group's Address,
// or meet a controller that does not answer one Read. Returns why what the
// window shows is no longer the connected controller's, or nullptr.
const char* ChangeSomething(int cycle, int* group, DispenserSim& sim,
                            Watchdog& dog, Counts& counts) {
  switch (cycle % 4) {
    case 1:
      ++counts.portChanges;
      OpenClosePort(Form());
      OpenClosePort(Form());
      return "after the port was closed and opened";
    case 2:
      ++counts.addressChanges;
      *group = (*group + 1) % kGroups;
      Form().addressInput->value(kGroupAddresses[*group]);
      Form().addressInput->do_callback();   // as typing does
      return "after the Address changed";
    case 3:
      ++counts.readsFailedOnPurpose;
      sim.signal(sim_signal::kPause);   // the controller does not answer this once
      ReadOnce(dog, counts);
      sim.signal(sim_signal::kResume);
      return ReadGotThrough() ? nullptr : "after a Read the controller did not answer";
    default:
      return nullptr;
  }
}

// Gives the bytes after each record values of their own: a twentieth byte
// written from anywhere but behind its record then shows in the image.
bool MarkBytesAfterRecords(const std::string& path) {
  MemoryImage memory;
  int commits = 0;
  std::string error;
  if (!loadImage(path, &memory, &commits, &error)) return false;
  for (int r = 0; r < kNozzles * kGroups; ++r)
    memory.set(0, uint32_t(0x10 + r) * 256 + 19, uint8_t(0x60 + r));
  return saveImage(path, memory, commits, &error);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: %s [--seconds S] [--seed N] [--rate P | --exchange-rate P] [--no-pace] "
                 "[--keep DIR]\n", argv[0]);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  ScratchDir scratch;
  PrivateDisplay display;
  if (!scratch.ok() || !display.ok()) {
    std::fprintf(stderr, "FAIL: no scratch folder or no Xvfb\n");
    return 2;
  }
  // Only the simulator's port in the list: no sysfs devices, no USB library.
  fs::create_directories("no_sysfs/class/tty");
  setenv("TARVO6_SYSFS", (scratch.path() + "/no_sysfs").c_str(), 1);
  setenv("TARVO6_LIBUSB", (scratch.path() + "/no_libusb.so").c_str(), 1);
  const std::string image = scratch.path() + "/controller.img";
  const std::string initial = scratch.path() + "/initial.img";
  const std::string trace = scratch.path() + "/trace.txt";

  {  // A fresh controller's memory, saved as the run's starting point.
    DispenserSim fresh({"--pty", "--image", image, "--password", kPassword, "--nozzles",
                        std::to_string(kNozzles), "--groups", std::to_string(kGroups),
                        "--group-addresses", "1,2"});
    if (!fresh.ok() || fresh.stop() != 0 || !MarkBytesAfterRecords(image)) {
      std::fprintf(stderr, "FAIL: dispenser-sim did not make its image\n");
      return 2;
    }
    fs::copy_file(image, initial);
  }
  DispenserSim sim(SimArgs(o, image, trace));
  if (!sim.ok()) {
    std::fprintf(stderr, "FAIL: dispenser-sim did not start\n");
    return 2;
  }
  setenv("TARVO6_PORTS", sim.announce().c_str(), 1);

  char* windowArgs[] = {argv[0], nullptr};
  TheForm = OpenMainWindow(TheState, 1, windowArgs);
  SetAlertSink(TakeAlert);
  CountingTrk link(0, 1, 0, 0, 0);
  link.type = State().link->type;
  link.nozzleCount = State().link->nozzleCount;
  link.sideCount = State().link->sideCount;
  link.firstPosition = State().link->firstPosition;
  std::memcpy(link.nozzleCodes, State().link->nozzleCodes, sizeof link.nozzleCodes);
  Trk* const windowLink = State().link;  // handed back at the end: the program keeps it
  State().link = &link;
  linkTable[0] = &link;
  OpenClosePort(Form());
  if (State().openPort == 0) {
    std::fprintf(stderr, "FAIL: the tool could not open %s\n", sim.announce().c_str());
    return 2;
  }
  int group = 0;
  Form().addressInput->value(kGroupAddresses[group]);
  Form().passwordInput->value(kPassword);

  Counts counts;
  Watchdog dog;
  const auto end = Clock::now() + std::chrono::seconds(o.seconds);
  while (Clock::now() < end) {
    const int cycle = counts.cycles++;

    // What the window shows now is not the connected controller's: a Write
    // must send nothing.
    if (const char* why = ChangeSomething(cycle, &group, sim, dog, counts)) {
      TypeEdits(cycle, cycle, 2);
      WriteExpectingNothing(link, dog, counts, why);
    }

    bool through = false;
    for (int attempt = 0; attempt < kReadAttempts && !through && Clock::now() < end; ++attempt) {
      ReadOnce(dog, counts);
      through = ReadGotThrough();
      if (!through) {   // failed, or without the counter that a Write advances
        TypeEdits(cycle, cycle + 1, 2);
        WriteExpectingNothing(link, dog, counts, "after a Read that did not get through");
      }
    }
    if (!through) continue;

    // Two to four nozzles edited, so that a write counted as done that the
    // controller never got is followed by more writes and the commit.
    const int first = cycle % kNozzles;
    TypeEdits(cycle, first, 2 + cycle % 3);
    ++counts.writes;
    ++counts.writesAfterGoodRead;
    AlertsThisProcedure = 0;
    dog.arm("Write", 30000);
    WriteCoefficients(Form());
    dog.disarm();
    if (AlertsThisProcedure > 0) ++counts.writeErrors;
    Pump(0.02);

    if (cycle % 3 == 2) RunFill(first + 1, dog, counts);
  }
  if (State().openPort != 0) OpenClosePort(Form());
  CloseDown(State());
  State().link = windowLink;
  linkTable[0] = windowLink;
  const int simExit = sim.stop();

  SoakFindings f = CheckSoakTrace(trace, kEntered, kNozzles, kGroups);
  CheckSoakImage(initial, image, trace, kNozzles, &f, kGroups);
  if (simExit != 0) f.violations.push_back("dispenser-sim ended with status " + std::to_string(simExit));
  f.violations.insert(f.violations.end(), SoakViolations.begin(), SoakViolations.end());

  std::printf("soak: %d s, seed %d, each fault kind at %.3f (an exchange meets one at %.3f), %s\n",
              o.seconds, o.seed, o.rate, 1.0 - std::pow(1.0 - o.rate, kFaultKinds),
              o.pace ? "4800-baud pacing" : "no pacing");
  std::printf("cycles %d: Read %d, Write %d, test fills %d\n", counts.cycles, counts.reads,
              counts.writes, counts.fills);
  std::printf("between cycles: port reopened %d, Address changed %d, Reads left unanswered %d\n",
              counts.portChanges, counts.addressChanges, counts.readsFailedOnPurpose);
  std::printf("Writes after a Read that got through %d; Writes with nothing current %d "
              "(Reads the controller saw fail %d)\n",
              counts.writesAfterGoodRead, counts.writesRefused, f.failedReads);
  std::printf("faults injected %d:", f.faults);
  for (const auto& [kind, number] : f.faultsByKind) std::printf(" %s %d,", kind.c_str(), number);
  std::printf("\nexchanges failed %d of %d (tool's view); requests the controller decoded %d\n",
              link.failed, link.exchanges, f.requests);
  std::printf("procedures that reported an error %d: Read %d, Write %d, test fill %d\n",
              counts.readErrors + counts.writeErrors + counts.fillErrors, counts.readErrors,
              counts.writeErrors, counts.fillErrors);
  for (const auto& [text, number] : Alerts) std::printf("  alert \"%s\" x%d\n", text.c_str(), number);
  std::printf("controller saw %d record writes, %d counter writes, %d commits\n", f.recordWrites,
              f.counterWrites, f.commits);
  if (!o.keep.empty()) {
    fs::create_directories(o.keep);
    for (const std::string& file : {trace, initial, image})
      fs::copy_file(file, fs::path(o.keep) / fs::path(file).filename(),
                    fs::copy_options::overwrite_existing);
  }
  for (const std::string& v : f.violations) std::printf("VIOLATION %s\n", v.c_str());
  std::printf("%s\n", f.violations.empty() ? "PASS" : "FAIL");
  return f.violations.empty() ? 0 : 1;
}
