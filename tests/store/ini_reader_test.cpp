#include "store/ini_reader.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Writes an INI file in a folder of its own and removes both afterwards.
class IniReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("ini_reader_test");
    ASSERT_FALSE(dir.empty());
    path = dir + "/test.ini";
  }
  void TearDown() override {
    unlink(path.c_str());
    rmdir(dir.c_str());
  }
  void Write(const std::string& content) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(content.data(), 1, content.size(), f), content.size());
    fclose(f);
  }
  // Opens content in a fresh reader.
  void Load(const std::string& content) {
    Write(content);
    ASSERT_EQ(reader.Open(path.c_str()), 1);
  }
  // The value of key in section, or "<result code>" when it is not 1.
  std::string Get(const char* section, const char* key) {
    char dest[501];
    strcpy(dest, "untouched");
    int r = reader.GetString(section, key, dest);
    if (r != 1) {
      EXPECT_STREQ(dest, "untouched");
      return "<" + std::to_string(r) + ">";
    }
    return dest;
  }

  std::string dir, path;
  TIniReader reader;
};

TEST_F(IniReaderTest, ValueKeepsItsLeadingBlankAndLosesCommentAndTrailingBlanks) {
  Load("[S]\r\nK = 12 ; note\r\n");
  EXPECT_EQ(Get("S", "K"), " 12");
}

TEST_F(IniReaderTest, OnlyTheSpaceIsABlank) {
  Load("[S]\nK\t= v\n");
  EXPECT_EQ(Get("S", "K"), "<0>");
  EXPECT_EQ(Get("S", "K\t"), " v");
}

TEST_F(IniReaderTest, FirstSectionAndFirstKeyWin) {
  Load("x=before\n[S]\na=1\na=2\n[T]\nb=3\n[S]\nc=4\n");
  EXPECT_EQ(Get("S", "a"), "1");
  EXPECT_EQ(Get("T", "b"), "3");
  EXPECT_EQ(Get("S", "c"), "<0>");  // under the second header of S
  EXPECT_EQ(Get("S", "x"), "<0>");  // before any header
  EXPECT_EQ(reader.SectionIndex("S"), 0);
  EXPECT_EQ(reader.SectionIndex("T"), 1);
  EXPECT_EQ(reader.SectionIndex("U"), -1);
  EXPECT_EQ(Get("U", "a"), "<-3>");
  EXPECT_EQ(Get("", "a"), "<-3>");
  EXPECT_EQ(Get("S", ""), "<0>");
}

TEST_F(IniReaderTest, ByteOrderMarkHidesTheFirstHeader) {
  Load("\xEF\xBB\xBF[S]\nK=1\n[T]\nK=2\n");
  EXPECT_EQ(reader.SectionIndex("S"), -1);
  EXPECT_EQ(Get("S", "K"), "<-3>");
  EXPECT_EQ(Get("T", "K"), "2");
}

TEST_F(IniReaderTest, EveryLineEndAndALastLineWithoutOne) {
  for (const char* end : {"\r", "\n", "\r\n"}) {
    TIniReader r;
    std::string e = end;
    Write("[S]" + e + e + "A=1" + e + "B=2");
    ASSERT_EQ(r.Open(path.c_str()), 1);
    char dest[501];
    ASSERT_EQ(r.GetString("S", "A", dest), 1) << e.size();
    EXPECT_STREQ(dest, "1");
    ASSERT_EQ(r.GetString("S", "B", dest), 1) << e.size();
    EXPECT_STREQ(dest, "2");
  }
}

TEST_F(IniReaderTest, CommentsHeadersAndTrimming) {
  Load(
      "; a comment line\n"
      "[S;comment]ignored\n"
      "  ;only blanks before\n"
      "A=x;y=z\n"
      "B=one=two\n"
      "C=   \n"
      "   =blank key\n"
      "=no key\n"
      "no equals sign\n"
      "[]\n"
      "D=in the empty section\n");
  EXPECT_EQ(Get("S", "A"), "x");
  EXPECT_EQ(Get("S", "y"), "<0>");
  EXPECT_EQ(Get("S", "B"), "one=two");
  EXPECT_EQ(Get("S", "C"), "");
  EXPECT_EQ(Get("S", " "), "blank key");
  EXPECT_EQ(reader.SectionIndex(""), 1);
  EXPECT_EQ(Get("", "D"), "<-3>");  // an empty name is never looked up
}

TEST_F(IniReaderTest, NameKeyAndValueLengthLimits) {
  std::string name(505, 'n'), key499(499, 'k'), key500(500, 'q'), value(505, 'v');
  Load("[" + name + "]\n" + key499 + "=short\n" + key500 + "=dropped\nV=" + value + "  \n");
  std::string s = name.substr(0, 499);
  EXPECT_EQ(reader.SectionIndex(s.c_str()), 0);
  EXPECT_EQ(Get(s.c_str(), key499.c_str()), "short");
  EXPECT_EQ(Get(s.c_str(), key500.c_str()), "<0>");
  EXPECT_EQ(Get(s.c_str(), "V"), value.substr(0, 500));
}

// A line of more than 511 bytes is skipped whole: its tail must not turn
// into an entry, and the lines around it are read as usual.
TEST_F(IniReaderTest, OverlongLineIsSkippedWhole) {
  std::string at511 = "L=" + std::string(509, 'x');
  std::string overlong = "P=" + std::string(510, 'x') + "Z=tail";
  std::string overlongHeader = "[" + std::string(600, 'h') + "]";
  Load("[S]\n" + at511 + "\n" + overlong + "\nN=next\n" + overlongHeader + "\nM=still S\n");
  EXPECT_EQ(Get("S", "L"), std::string(500, 'x'));
  EXPECT_EQ(Get("S", "P"), "<0>");
  EXPECT_EQ(Get("S", "Z"), "<0>");
  EXPECT_EQ(Get("S", "N"), "next");
  EXPECT_EQ(Get("S", "M"), "still S");
  EXPECT_EQ(reader.SectionIndex(std::string(511, 'h').c_str()), -1);
}

// Appends comment lines to s until it is exactly size bytes long.
void PadTo(std::string& s, size_t size) {
  while (size - s.size() > 101) s += ";" + std::string(98, '.') + "\n";
  size_t gap = size - s.size();
  ASSERT_GE(gap, 2u);
  s += ";" + std::string(gap - 2, '.') + "\n";
}

// Lines cut by the 600,000-byte reads are joined, comments included.
TEST_F(IniReaderTest, LineAcrossTwoReadsIsJoined) {
  const size_t read = TIniReader::kReadSize;
  std::string s = "[S]\n";
  PadTo(s, read - 4);
  s += "Straddle=joined\n";  // "Stra" | "ddle=joined"
  PadTo(s, 2 * read - 6);
  s += "C=v;comment=x\n";  // "C=v;co" | "mment=x"
  PadTo(s, 3 * read - 1);
  s += "\r\nLast=1";  // CR | LF
  Load(s);
  EXPECT_EQ(Get("S", "Straddle"), "joined");
  EXPECT_EQ(Get("S", "Stra"), "<0>");
  EXPECT_EQ(Get("S", "ddle"), "<0>");
  EXPECT_EQ(Get("S", "C"), "v");
  EXPECT_EQ(Get("S", "mment"), "<0>");
  EXPECT_EQ(Get("S", "Last"), "1");
}

TEST_F(IniReaderTest, MissingFileClearAndSecondOpen) {
  EXPECT_EQ(reader.Open((dir + "/missing.ini").c_str()), 0);
  EXPECT_EQ(Get("S", "K"), "<-3>");

  Load("[S]\nK=1\n");
  EXPECT_EQ(reader.CloseFile(), 0);
  EXPECT_EQ(reader.CloseFile(), 0);
  Load("[T]\nK=2\n");  // adds to what is held
  EXPECT_EQ(Get("S", "K"), "1");
  EXPECT_EQ(Get("T", "K"), "2");
  EXPECT_EQ(reader.SectionIndex("T"), 1);

  reader.Clear();
  EXPECT_EQ(Get("S", "K"), "<-3>");
  Load("K=0\n[U]\nK=3\n");
  EXPECT_EQ(reader.SectionIndex("U"), 0);
  EXPECT_EQ(Get("U", "K"), "3");
}

}  // namespace

namespace {

// A file far larger than a settings file is read only up to kFileMax: what
// lies before the bound is found, what lies past it is not read at all.
TEST_F(IniReaderTest, NothingPastTheReadBoundIsRead) {
  std::string s = "[S]\nFirst=1\n";
  s.resize(TIniReader::kFileMax - 8, '\n');
  s += "Edge=22\n";                 // ends exactly at the bound
  s += "Past=3\n" + std::string(TIniReader::kReadSize, '\n') + "Far=4\n";
  Load(s);
  EXPECT_EQ(Get("S", "First"), "1");
  EXPECT_EQ(Get("S", "Edge"), "22");
  EXPECT_EQ(Get("S", "Past"), "<0>");
  EXPECT_EQ(Get("S", "Far"), "<0>");
}

}  // namespace
