// The controller memory as the tool reads it, per variant, and the image
// file that keeps it between runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "link/frame.h"
#include "tests/tools/sim_wire.h"
#include "tools/dispenser_sim/image_file.h"

namespace {

struct SettingsAt {
  int nozzles, groups, address;
};

double coefficient(const Bytes& r, int highAt) {
  uint64_t k = (uint64_t(r[highAt]) << 32) | r[0] | (r[1] << 8) | (r[2] << 16) | (uint64_t(r[3]) << 24);
  return double(k) / 4294967296.0;
}

TEST(SimLayout, EachVariantReadsBackAsTheToolExpects) {
  const SettingsAt at[3] = {{5, 6, 1}, {4, 5, 2}, {10, 9, 3}};
  const uint8_t variantBits[3] = {0x00, 0x80, 0x20};
  for (int v = 0; v < 3; ++v) {
    SCOPED_TRACE("variant " + std::to_string(v));
    layout::ControllerLayout controllerLayout;
    controllerLayout.variant = v;
    controllerLayout.nozzles = 3;
    controllerLayout.groups = 2;
    controllerLayout.groupAddress[0] = 0x21;
    controllerLayout.groupAddress[1] = 0x22;
    SimUnderTest sim(controllerLayout);
    Bytes status = sim.read(0x21, 2, 0x24, 1);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0] & 0xA0, variantBits[v]);

    Bytes length = sim.read(0x21, 0, 0x3100, 1);
    ASSERT_EQ(length.size(), 1u);
    Bytes settings = sim.read(0x21, 0, 0x3101, length[0]);
    ASSERT_EQ(settings.size(), length[0]);
    if (v != 2) {
      EXPECT_EQ(settings.back(), frameChecksum(settings.data(), length[0] - 1));
    }
    EXPECT_EQ(settings[at[v].nozzles], 3);
    EXPECT_EQ(settings[at[v].groups], 2);
    EXPECT_EQ(settings[at[v].address], 0x21);

    // Group 1 answers at its own address and keeps its own records.
    for (int g = 0; g < 2; ++g) {
      Bytes common = sim.read(0x21 + g, 0, (0x40 + g) * 256, 6);
      EXPECT_EQ(common[1] | (common[2] << 8), 12 + g);
      for (int i = 0; i < 3; ++i) {
        uint32_t record = v == 2 ? (0x10 + 2 * i + g) * 256 : (0x10 + i + 3 * g) * 256;
        Bytes r = sim.read(0x21 + g, 0, record, v == 2 ? 15 : 19);
        ASSERT_FALSE(r.empty());
        double k = coefficient(r, v == 2 ? 11 : 4);
        EXPECT_GT(k, 1.0);
        EXPECT_LT(k, 1.02);
        if (v != 2) {
          EXPECT_GT(coefficient({r[5], r[6], r[7], r[8], r[9]}, 4), k);
          uint32_t low = r[0] | (r[1] << 8) | (r[2] << 16) | (uint32_t(r[3]) << 24);
          uint32_t low2 = r[5] | (r[6] << 8) | (r[7] << 16) | (uint32_t(r[8]) << 24);
          uint32_t diff = r[10] | (r[11] << 8) | (r[12] << 16) | (uint32_t(r[13]) << 24);
          EXPECT_EQ(diff, low2 - low);
          EXPECT_EQ(r[14] | (r[15] << 8), 100);  // reset divisor
        }
      }
    }
    Bytes password = sim.read(0x21, v == 2 ? 2 : 0, v == 2 ? 2 : 0x5300, 16);
    EXPECT_EQ(password, Bytes(16, 0x11));
  }
}

TEST(SimLayout, VariantZeroFindsEveryGroupByItsAddress) {
  layout::ControllerLayout controllerLayout;
  controllerLayout.variant = 0;
  controllerLayout.nozzles = 2;
  controllerLayout.groups = 3;
  controllerLayout.groupAddress[0] = 5;
  controllerLayout.groupAddress[1] = 6;
  controllerLayout.groupAddress[2] = 7;
  MemoryImage memory;
  layout::build(controllerLayout, memory);
  layout::Shape shape = layout::readShape(memory);
  EXPECT_EQ(layout::groupOf(shape, 7), 2);
  EXPECT_EQ(layout::groupOf(shape, 0xF0), 0);
  EXPECT_EQ(layout::groupOf(shape, 8), -1);
  EXPECT_EQ(layout::record(shape, 1, 2), (0x10u + 1 + 2 * 2) * 256);
}

TEST(SimImage, SaveAndLoadGiveBackTheSameMemoryAndCommits) {
  layout::ControllerLayout controllerLayout;
  controllerLayout.variant = 1;
  SimUnderTest sim(controllerLayout);
  sim.write(1, 0, 0x4001, {9, 0, 16, 3, 23});
  sim.write(1, 0, 0x88FFFF, {0x55});
  sim.memory.set(5, 0xABCDEF, 0x42);  // an odd corner of memory
  std::string path = ::testing::TempDir() + "sim_image_" + std::to_string(getpid()) + ".txt";
  std::string error;
  ASSERT_TRUE(saveImage(path, sim.memory, sim.controller.commits(), &error)) << error;

  MemoryImage loaded;
  int commits = -1;
  ASSERT_TRUE(loadImage(path, &loaded, &commits, &error)) << error;
  EXPECT_EQ(loaded.bytes(), sim.memory.bytes());
  EXPECT_EQ(commits, 1);

  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("# calibration counter, group 0\n0:004001 09 00 10 03 17"), std::string::npos);
  std::remove(path.c_str());
}

TEST(SimImage, LoadNamesTheLineThatIsWrong) {
  std::string path = ::testing::TempDir() + "sim_bad_image_" + std::to_string(getpid()) + ".txt";
  {
    std::ofstream out(path);
    out << "# fine\n0:003100 10\n0:003101 1G\n";
  }
  MemoryImage memory;
  int commits = 0;
  std::string error;
  EXPECT_FALSE(loadImage(path, &memory, &commits, &error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  std::remove(path.c_str());
}

}  // namespace
