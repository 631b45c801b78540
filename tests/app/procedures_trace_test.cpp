// The wire trace of a Read against the simulated controller: frame for frame
// what the controller's own trace saw, in the same words.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/window/procedures.h"
#include "app/trace_option.h"
#include "link/wire_trace.h"
#include "tests/app/procedure_fixture.h"
#include "tests/support/environment.h"

namespace {

struct TraceLine {
  std::string hex;
  std::string words;
};

// The lines of one direction: "... <direction> HEX  | words". Lines with
// words starting with skip are left out.
std::vector<TraceLine> LinesOf(const std::string& path, const std::string& direction,
                               const std::string& skip) {
  std::vector<TraceLine> out;
  std::ifstream in(path);
  std::string line;
  const std::string marker = " " + direction + " ";
  while (std::getline(in, line)) {
    const size_t at = line.find(marker);
    const size_t bar = line.find("  | ");
    if (at == std::string::npos || bar == std::string::npos || bar < at) continue;
    TraceLine t{line.substr(at + marker.size(), bar - at - marker.size()), line.substr(bar + 4)};
    if (!skip.empty() && t.words.find(skip) != std::string::npos) continue;
    out.push_back(t);
  }
  return out;
}

using TraceTest = ProcedureTest;

TEST_F(TraceTest, TheTraceOfAReadIsFrameForFrameWhatTheControllerSaw) {
  const std::string wire = imagePath + ".wire";
  ASSERT_TRUE(WireTraceStart(wire.c_str()));
  Connect(FreshImage(1, 4));
  Read("1");
  WireTraceStop();
  EXPECT_TRUE(alerts.empty());
  ASSERT_EQ(sim->stop(), 0);

  // The tool's requests are the controller's received frames, in its words
  // (the controller adds the name of the memory area).
  const std::vector<TraceLine> sent = LinesOf(wire, "tx", "");
  const std::vector<TraceLine> received = LinesOf(tracePath, "rx", "skipped");
  ASSERT_GE(sent.size(), 9u);
  ASSERT_EQ(sent.size(), received.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].hex, received[i].hex) << i;
    EXPECT_EQ(received[i].words.rfind(sent[i].words, 0), 0u)
        << sent[i].words << " / " << received[i].words;
  }
  // And every reply the controller sent was taken whole, in one line.
  const std::vector<TraceLine> taken = LinesOf(wire, "rx", "");
  const std::vector<TraceLine> replied = LinesOf(tracePath, "tx", "");
  ASSERT_EQ(taken.size(), replied.size());
  for (size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(taken[i].hex, replied[i].hex) << i;
    EXPECT_NE(taken[i].words.find("bytes + checksum"), std::string::npos) << taken[i].words;
  }
  // The lines name the port.
  std::ifstream in(wire);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find(" " + sim->announce() + " tx 60 01 "), std::string::npos) << text;
}

}  // namespace

namespace {

TEST_F(TraceTest, TheTraceOptionLeavesTheToolkitTheRestOfTheCommandLine) {
  char a0[] = "tarvo_6", a1[] = "-geometry", a2[] = "+0+0", a3[] = "--trace", a4[] = "w.txt",
       a5[] = "-iconic";
  char* argv[] = {a0, a1, a2, a3, a4, a5, nullptr};
  int argc = 6;
  UnsetEnvironment("TARVO6_TRACE");
  TraceOption option = TakeTraceOption(&argc, argv);
  EXPECT_TRUE(option.asked);
  EXPECT_EQ(option.path, "w.txt");
  ASSERT_EQ(argc, 4);
  EXPECT_STREQ(argv[3], "-iconic");
  EXPECT_EQ(argv[4], nullptr);

  // The environment stands in when the command line says nothing.
  SetEnvironment("TARVO6_TRACE", "env.txt");
  option = TakeTraceOption(&argc, argv);
  UnsetEnvironment("TARVO6_TRACE");
  EXPECT_EQ(option.path, "env.txt");
  EXPECT_EQ(argc, 4);

  // A trace that cannot be opened is said so; the tool runs on without it.
  StartTraceOption({true, imagePath + ".missing/wire.txt"});
  EXPECT_FALSE(WireTraceOn());
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].rfind("Cannot write the wire trace to ", 0), 0u);
}

}  // namespace
