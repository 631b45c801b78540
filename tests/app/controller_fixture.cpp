#include "tests/app/controller_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/frame.h"
#include "tests/support/temp_dir.h"
#include "tools/dispenser_sim/image_file.h"

namespace {

std::vector<uint8_t> ParseHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream words(text);
  std::string word;
  while (words >> word) bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

}  // namespace

void ControllerTest::SetUp() {
  folder = MakeTempDir("tarvo_controller");
  ASSERT_FALSE(folder.empty());
  imagePath = folder + "/image.txt";
  tracePath = folder + "/trace.txt";
}

void ControllerTest::TearDown() {
  sim.reset();
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
}

void ControllerTest::StartController(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  for (const std::string& a : {std::string("--image"), DispenserSim::hostPath(imagePath),
                               std::string("--trace-file"), DispenserSim::hostPath(tracePath)})
    all.push_back(a);
  sim = std::make_unique<DispenserSim>(all);
  ASSERT_TRUE(sim->ok()) << "dispenser-sim did not start";
}

void ControllerTest::StartController(const MemoryImage& image,
                                     const std::vector<std::string>& args) {
  // The image of a controller before it in the same test goes: saving moves
  // the new one into place, which Windows refuses over an existing file.
  std::error_code ignored;
  std::filesystem::remove(imagePath, ignored);
  std::string error;
  ASSERT_TRUE(saveImage(imagePath, image, 0, &error)) << error;
  StartController(args);
}

MemoryImage ControllerTest::StopAndLoadImage(int* commits) {
  MemoryImage image;
  int savedCommits = 0;
  EXPECT_EQ(sim->stop(), 0);
  std::string error;
  EXPECT_TRUE(loadImage(imagePath, &image, &savedCommits, &error)) << error;
  if (commits) *commits = savedCommits;
  return image;
}

std::vector<Received> ControllerTest::ReceivedRequests() {
  std::vector<Received> out;
  std::ifstream in(tracePath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream lines(text.substr(std::min(traceOffset, text.size())));
  std::string line;
  while (std::getline(lines, line)) {
    // "   time rx 60 01 48 68 ...  | to 01: read 1 bytes at ..."
    const size_t rx = line.find(" rx ");
    const size_t bar = line.find("  | ");
    if (rx == std::string::npos || bar == std::string::npos || bar < rx) continue;
    out.push_back({ParseHex(line.substr(rx + 4, bar - rx - 4)), line.substr(bar + 4)});
  }
  return out;
}

std::vector<std::string> ControllerTest::MemoryRequests() {
  std::vector<std::string> out;
  for (const Received& r : ReceivedRequests()) {
    const size_t colon = r.what.find(": ");
    const std::string what = colon == std::string::npos ? r.what : r.what.substr(colon + 2);
    if (what.rfind("read ", 0) == 0 || what.rfind("write ", 0) == 0) out.push_back(what);
  }
  return out;
}

void ControllerTest::ForgetReceived() {
  std::ifstream in(tracePath, std::ios::ate);
  traceOffset = in ? static_cast<size_t>(in.tellg()) : 0;
}

MemoryImage FreshImage(int variant, int nozzles, int groups, std::vector<int> groupAddresses) {
  layout::ControllerLayout controllerLayout;
  controllerLayout.variant = variant;
  controllerLayout.nozzles = nozzles;
  controllerLayout.groups = groups;
  for (size_t g = 0; g < groupAddresses.size() && g < 4; ++g) controllerLayout.groupAddress[g] = groupAddresses[g];
  MemoryImage image;
  layout::build(controllerLayout, image);
  return image;
}

std::vector<uint8_t> Bytes(const MemoryImage& image, int bank, uint32_t address, int size) {
  std::vector<uint8_t> out(static_cast<size_t>(size));
  image.getBlock(bank, address, out.data(), size);
  return out;
}

void FixSettingsChecksum(MemoryImage& image) {
  const int length = image.get(0, layout::kSettingsLength);
  std::vector<uint8_t> block = Bytes(image, 0, layout::kSettings, length);
  image.set(0, layout::kSettings + length - 1,
            static_cast<uint8_t>(frameChecksum(block.data(), length - 1)));
}
