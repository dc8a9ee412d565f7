#include "pagetext/text-cleanup.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tessaly {
namespace {

TEST(DeleteBlankLinesTest, Table) {
  struct Case {
    std::string text, expected, why;
  };
  const Case cases[] = {
      {"a\r\n\r\nb", "a\r\nb", "one empty line"},
      {"a\r\n   \r\nb", "a\r\nb", "a line of spaces"},
      {"a\r\n\r\n\r\nb", "a\r\nb", "two empty lines"},
      {"a\r\n \t \r\n\r\n  \r\nb", "a\r\nb", "a run of white lines in one match"},
      {"a\r\n\v\f\r\nb", "a\r\nb", "VT and FF are white space"},
      {"a\r\n  b", "a\r\n  b", "leading spaces of a text line stay"},
      {"a\r\n  \r\n  b", "a\r\n  b", "... also after a deleted line"},
      {"a  \r\n\r\nb", "a  \r\nb", "trailing spaces of a text line stay"},
      {"a\r\n\r\n", "a\r\n", "ending in two CR LF: one goes"},
      {"\r\n\r\na", "\r\na", "beginning with two CR LF: a blank first line stays"},
      {"\r\n", "", "only a line break"},
      {"\r\n\r\n", "", "two line breaks, each removed once"},
      {"", "", "empty"},
      {"a\nb", "a\nb", "a lone LF"},
      {"a\n\rb", "ab", "LF then CR is a match"},
      {"a\r\n \r\n", "a\r\n ", "no CR after the last LF"},
      {"a\r\n\xA1\xA1\r\nb", "a\r\n\xA1\xA1\r\nb", "the full-width space is no white space"},
      {"a\r\n\r\nb\r\n\r\nc", "a\r\nb\r\nc", "every match"},
      {"\xD6\xD0\r\n\r\n\xCE\xC4", "\xD6\xD0\r\n\xCE\xC4", "GBK text around"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeleteBlankLines(c.text), c.expected) << c.why;
    EXPECT_EQ(DeleteBlankLinesByRegex(c.text), c.expected) << c.why << " (regex)";
  }
}

TEST(DeleteBlankLinesTest, ScanAgreesWithTheExpression) {
  static constexpr const char* kPieces[] = {"a", " ", "\t", "\r", "\n", "\r\n", "\v", "\xD6\xD0"};
  std::mt19937 random(2024);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 14);
    for (int i = 0; i < length; ++i) text += kPieces[random() % 8];
    ASSERT_EQ(DeleteBlankLines(text), DeleteBlankLinesByRegex(text)) << "round " << round;
  }
}

TEST(DeleteBlankLinesTest, OneMegabytePage) {
  std::string page;
  while (page.size() < (1u << 20)) page += "\xD6\xD0 line\r\n\r\n  \t\r\n  text\r\n";
  const Text scanned = DeleteBlankLines(page);
  EXPECT_EQ(scanned, DeleteBlankLinesByRegex(page));
  EXPECT_EQ(scanned.find("\r\n\r\n"), std::string::npos);
  EXPECT_LT(scanned.size(), page.size());
}

TEST(TrimLineTest, AsciiSpacesOnly) {
  struct Case {
    std::string line, expected;
  };
  const Case cases[] = {
      {"  a b  ", "a b"}, {"    ", ""}, {"\tab ", "\tab"}, {"\xA1\xA1\x61 ", "\xA1\xA1\x61"},
      {"", ""},           {"a", "a"},   {" \r", "\r"},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimLine(c.line), c.expected) << "[" << c.line << "]";
}

}  // namespace
}  // namespace tessaly
