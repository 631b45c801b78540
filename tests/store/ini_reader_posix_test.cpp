// tarvo_6.ini replaced by a named pipe or a device link: the reader takes it
// for a missing file instead of waiting for a writer or reading without end.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "store/ini_reader.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(IniReaderPosixTest, PipeAndDeviceInPlaceOfTheFileReadAsMissing) {
  const std::string dir = MakeTempDir("ini_reader_posix_test");
  ASSERT_FALSE(dir.empty());
  const std::string fifo = dir + "/fifo", zero = dir + "/zero";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  for (const std::string& p : {fifo, zero}) {
    TIniReader reader;
    EXPECT_EQ(reader.Open(p.c_str()), 0) << p;
  }
  unlink(fifo.c_str());
  unlink(zero.c_str());
  rmdir(dir.c_str());
}

}  // namespace
