// Files that are not regular in place of the tool's files: the open must
// neither block (a FIFO without a writer or reader) nor hand back an endless
// device, for reading or for appending.
#include "util/regular_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

class RegularFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("regular_file_test");
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    for (const std::string& p : made) unlink(p.c_str());
    rmdir(dir.c_str());
  }
  std::string Path(const char* name) {
    made.push_back(dir + "/" + name);
    return made.back();
  }
  std::string dir;
  std::vector<std::string> made;
};

TEST_F(RegularFileTest, PipesAndDevicesAreMissingRegularFilesAndTheirLinksOpen) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero = Path("zero");
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  // Each refusal says why: the tool's own word, or the system's.
  for (const std::string& p : {fifo, zero}) {
    for (const char* mode : {"rb", "ab"}) {
      int error = 0;
      EXPECT_EQ(OpenRegularFile(p.c_str(), mode, &error), nullptr) << p << " " << mode;
      EXPECT_EQ(error, kErrorNotRegularFile) << p << " " << mode;
    }
  }
  int error = 0;
  EXPECT_EQ(OpenRegularFile(dir.c_str(), "rb", &error), nullptr);
  EXPECT_EQ(error, kErrorNotRegularFile);
  EXPECT_EQ(OpenRegularFile(Path("absent").c_str(), "rb", &error), nullptr);
  EXPECT_EQ(error, ENOENT);

  // Appending creates a missing file; a link to a regular file is followed.
  const std::string log = Path("log");
  std::FILE* f = OpenRegularFile(log.c_str(), "ab");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fputs("x", f), 1);
  std::fclose(f);
  const std::string link = Path("link");
  ASSERT_EQ(symlink(log.c_str(), link.c_str()), 0);
  f = OpenRegularFile(link.c_str(), "ab");
  ASSERT_NE(f, nullptr);
  std::fputs("y", f);
  std::fclose(f);
  f = OpenRegularFile(log.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char text[4] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, f), 2u);
  std::fclose(f);
  EXPECT_STREQ(text, "xy");
}

}  // namespace
