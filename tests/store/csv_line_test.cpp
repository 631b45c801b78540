// CSV lines as RFC 4180 has them, always valid UTF-8.
#include <gtest/gtest.h>

#include "store/csv_line.h"

TEST(CsvLine, QuotesOnlyWhatNeedsItAndDoublesQuotes) {
  EXPECT_EQ(CsvLine({"plain", "", "10.1"}), "plain,,10.1\r\n");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(CsvField("one\nline"), "\"one\nline\"");
}

TEST(CsvLine, KeepsUtf8AndReplacesBytesThatAreNot) {
  EXPECT_EQ(CsvField("\xD0\x9A\xD0\xBE\xD1\x8D\xD1\x84"), "\xD0\x9A\xD0\xBE\xD1\x8D\xD1\x84");
  EXPECT_EQ(CsvField("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");   // four bytes
  // A CP1251 letter, a cut sequence, an overlong form and a surrogate.
  EXPECT_EQ(CsvField("a\xCA" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(CsvField("\xD0"), "\xEF\xBF\xBD");
  EXPECT_EQ(CsvField("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(CsvField("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}
