#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace tessaly {
namespace {

// 中 in GBK; 81 61 and 95 5C are double-byte characters whose trailing bytes
// are "a" and a backslash.
constexpr const char* kZhong = "\xD6\xD0";
constexpr const char* kTrailA = "\x81\x61";
constexpr const char* kTrailBackslash = "\x95\x5C";

std::string Repeat(const std::string& piece, std::size_t bytes) {
  std::string out;
  out.reserve(bytes + piece.size());
  while (out.size() < bytes) out += piece;
  return out;
}

TEST(CharWidthTest, LeadBytesAndLoneLeadAtTheEnd) {
  EXPECT_EQ(CharWidthAt(kTrailA, 0), 2u);
  EXPECT_EQ(CharWidthAt(kTrailA, 1), 1u);
  EXPECT_EQ(CharWidthAt("\x81", 0), 1u);
  EXPECT_EQ(CharWidthAt("a", 0), 1u);
  EXPECT_EQ(CharWidthAt("\x80\x61", 0), 1u);  // 0x80 leads nothing
  EXPECT_EQ(CharWidthAt("\xFF\x61", 0), 1u);
  EXPECT_EQ(CharWidthAt("\xFE\x61", 0), 2u);
}

TEST(TextBetweenTest, Table) {
  const std::string quote = "#\xD2\xFD\xBA\xC5";  // #引号
  struct Case {
    std::string source, left, right, expected;
  };
  const Case cases[] = {
      {"<b>x</b>", "<b>", "</b>", "x"},
      {"<B>x</B>", "<b>", "</b>", "x"},  // ASCII letters fold
      {"<b>x</b>", "<B>", "</B>", "x"},
      {"[1][2]", "[", "]", "1"},               // first occurrence of each
      {"a[]b", "[", "]", ""},                  // right marker right after left
      {"abc", "x", "c", ""},                   // left missing
      {"abc", "a", "x", ""},                   // right missing
      {"cab", "a", "c", ""},                   // right only before left
      {"k=\"v\";", "k=" + quote, quote, "v"},  // placeholder in both markers
      {"k=\"v\";", "k=" + quote + quote, quote, ""},
      {"a#\xD2\xFD\xBA\xC5\x62", "a#", "b", "\xD2\xFD\xBA\xC5"},  // in the source it is text
      {"x" + quote + "y", "x" + quote, "y", ""},                  // the source is not rewritten
      {"\"\"x\"\"", quote + quote, quote + quote, "x"},           // every occurrence replaced
      {std::string(kTrailA) + "1a2b", "a", "b", "2"},             // left never on a trailing byte
      {std::string("x") + kTrailA + "ya", "x", "a", std::string(kTrailA) + "y"},
      {std::string("[") + kTrailBackslash + "\\]", "[", "\\", kTrailBackslash},
      {"\xE4\xE3v;", "\xC4\xE3", ";", ""},     // no folding above ASCII
      {"a\xFF\x62\x81", "\xFF", "\x81", "b"},  // invalid bytes and a lone lead
      {"abc\x81", "b", "\x81", "c"},
      {"abc", "", "c", "ab"},  // empty left is found at the start
      {"abc", "", "", ""},
      {"abc", "a", "", ""},
      {"", "a", "b", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextBetween(c.source, c.left, c.right), c.expected)
        << "source [" << c.source << "] left [" << c.left << "] right [" << c.right << "]";
  }
}

TEST(TextBetweenTest, OneMegabyteSource) {
  const std::string body = Repeat(kZhong, 1 << 20);
  EXPECT_EQ(TextBetween(body + "<A>v</a>", "<a>", "</A>"), "v");
  EXPECT_EQ(TextBetween(body + "<a>v", "<a>", "</a>"), "");
  EXPECT_EQ(TextBetween("<a>" + body + "</a>", "<a>", "</a>"), body);
  // 中中... holds "\xD0\xD6" at every odd offset, never at a character start.
  EXPECT_EQ(TextBetween(body + "x", "\xD0\xD6", "x"), "");
}

TEST(FindTextTest, Table) {
  struct Case {
    std::string text, what;
    std::size_t start;
    bool ignoreCase;
    std::size_t expected;
  };
  const Case cases[] = {
      {"abcabc", "c", 1, false, 3},
      {"abcabc", "c", 4, false, 6},
      {"abcabc", "c", 7, false, 0},
      {"abcabc", "c", 99, false, 0},
      {"abcabc", "c", 0, false, 3},  // 0 counts as 1
      {"xABC", "abc", 1, true, 2},
      {"xABC", "abc", 1, false, 0},
      {"x\xC4\xE3", "\xE4\xE3", 1, true, 0},  // folding is ASCII only
      {std::string(kTrailA) + "a", "a", 1, false, 3},
      {std::string(kTrailA) + "a", "a", 2, false, 3},  // start on a trailing byte
      {std::string(kTrailA) + "A", "a", 1, true, 3},
      {"\xD6\xD0\xD6\xD0", "\xD0\xD6", 1, false, 0},  // across two characters
      {"\xD6\xD0\xD6\xD0", "\xD6\xD0", 2, false, 3},
      {"abc", "", 2, false, 2},
      {"abc", "", 4, false, 4},
      {"abc", "", 5, false, 0},
      {"ab\x81", "\x81", 1, false, 3},  // a lone lead byte at the end is a character
      {"ab", "abc", 1, false, 0},
      {"", "a", 1, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindText(c.text, c.what, c.start, c.ignoreCase), c.expected)
        << "[" << c.text << "] [" << c.what << "] from " << c.start;
  }
}

TEST(ReplaceTextTest, Table) {
  struct Case {
    std::string text, what, with;
    bool ignoreCase;
    std::string expected;
  };
  const Case cases[] = {
      {"aXaxa", "x", "-", true, "a-a-a"},
      {"aXaxa", "x", "-", false, "aXa-a"},
      {std::string(kTrailA) + "a", "a", "b", false, std::string(kTrailA) + "b"},
      {std::string(kTrailBackslash) + "\\u", "\\u", "%u", false,
       std::string(kTrailBackslash) + "%u"},
      {"aaa", "aa", "b", false, "ba"},    // left to right, no overlap
      {"ab", "b", "bbb", false, "abbb"},  // the replacement is not searched again
      {"abc", "", "x", false, "abc"},
      {"", "a", "x", false, ""},
      {"\r\n\r\n", "\r\n", "{$}", false, "{$}{$}"},
      {"a\x81", "\x81", "!", false, "a!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.what, c.with, c.ignoreCase), c.expected) << c.text;
  }
}

TEST(ReplaceTextTest, OneMegabyteOfDoubleByteText) {
  const std::string body = Repeat(kZhong, 1 << 20);
  const Text replaced = ReplaceText(body, kZhong, "x");
  EXPECT_EQ(replaced, std::string(body.size() / 2, 'x'));
  EXPECT_EQ(ReplaceText(body, "\xD0\xD6", "x"), body);
  EXPECT_EQ(FindText(body + "A", "a", 1, true), body.size() + 1);
}

TEST(TrimTest, SpacesOfBothWidthsButNoTabs) {
  struct Case {
    std::string text, trimmed, removed;
  };
  const Case cases[] = {
      {"  a b  ", "a b", "ab"},
      {"\xA1\xA1\x61\xA1\xA1", "a", "a"},
      {" \xA1\xA1 a \xA1\xA1 ", "a", "a"},
      {"\ta\t", "\ta\t", "\ta\t"},
      {" \r\n", "\r\n", "\r\n"},
      {"", "", ""},
      {"   ", "", ""},
      {"\xA1\xA1\xA1\xA1", "", ""},
      // B0A1 then a lone A1: the last two bytes are A1 A1 but no full-width space.
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
      {" a\xA1", "a\xA1", "a\xA1"},  // a lone lead byte at the end stays
      {"a\xA1\xA1\x62", "a\xA1\xA1\x62", "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << "[" << c.text << "]";
    EXPECT_EQ(RemoveSpaces(c.text), c.removed) << "[" << c.text << "]";
  }
}

TEST(TextToIntegerTest, Table) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  struct Case {
    const char* text;
    std::int64_t value;
  };
  const Case cases[] = {
      {"42", 42},
      {"  -17x", -17},
      {"+5", 5},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"12.9", 12},
      {"0012", 12},
      {"3 4", 3},
      {"--1", 0},
      {"9223372036854775807", kMax},
      {"99999999999999999999", kMax},
      {"-99999999999999999999", kMin},
      {"\xD6\xD0\x31\x32", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInteger(c.text), c.value) << c.text;
}

TEST(NumberToTextTest, ThirteenSignificantDigitsPlainDecimal) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {5.0, "5"},
      {-3.0, "-3"},
      {100.0, "100"},
      {0.5, "0.5"},
      {-0.25, "-0.25"},
      {1234567.891, "1234567.891"},
      {1.0 / 3.0, "0.3333333333333"},
      {2.0 / 3.0, "0.6666666666667"},
      {0.1 + 0.2, "0.3"},
      {1e-5, "0.00001"},
      {1e15, "1000000000000000"},
      {123456789012345.0, "123456789012300"},
      {9999999999999.5, "10000000000000"},
      {1e20, "100000000000000000000"},
      {2147483647.0, "2147483647"},
      {12.0000000000001, "12"},
  };
  for (const Case& c : cases) EXPECT_EQ(NumberToText(c.value), c.text) << c.text;
  EXPECT_EQ(IntegerToText(-9000000000LL), "-9000000000");
  EXPECT_EQ(IntegerToText(0), "0");
}

TEST(RoundingTest, HalvesUpAndTruncation) {
  struct Case {
    double value;
    std::int64_t rounded;
    int truncated;
  };
  const Case cases[] = {
      {0.5, 1, 0},    {1.5, 2, 1},    {2.5, 3, 2}, {49.4999, 49, 49}, {99.5, 100, 99}, {-0.5, 0, 0},
      {-1.5, -1, -1}, {-1.6, -2, -1}, {3.9, 4, 3}, {-3.9, -4, -3},    {0.0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RoundHalfUp(c.value), c.rounded) << c.value;
    EXPECT_EQ(TruncateToInt(c.value), c.truncated) << c.value;
  }
  EXPECT_EQ(ProgressFillWidth(50, 202), 100);
  EXPECT_EQ(ProgressFillWidth(33.3, 102), 33);
  EXPECT_EQ(ProgressFillWidth(100, 2), 0);
  EXPECT_EQ(ProgressFillWidth(0, 500), 0);
}

TEST(HeaderTest, NameAndValue) {
  struct Case {
    const char* line;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"Content-Length: 123", "Content-Length", "123"},
      {"X:  a:b  ", "X", "a:b"},
      {"NoColon", "", ""},
      {":v", "", "v"},
      {"K:", "K", ""},
      {" Name :\xA1\xA1v\xA1\xA1", "Name", "v"},
      {"K:\tv", "K", "\tv"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HeaderName(c.line), c.name) << c.line;
    EXPECT_EQ(HeaderValue(c.line), c.value) << c.line;
  }
}

TEST(SplitTextTest, Table) {
  struct Case {
    std::string text, separator;
    TextList pieces;
  };
  const Case cases[] = {
      {"a,b,,c", ",", {"a", "b", "", "c"}},
      {"", ",", {""}},
      {"abc", "", {"abc"}},
      {"a\r\nb\r\n", "\r\n", {"a", "b", ""}},
      {std::string(kTrailA) + "ab", "a", {kTrailA, "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitText(c.text, c.separator), c.pieces) << c.text;
}

TEST(AffixTest, StartsAndEndsWith) {
  EXPECT_TRUE(StartsWith("Hello", "he", true));
  EXPECT_FALSE(StartsWith("Hello", "he"));
  EXPECT_TRUE(EndsWith("file.TXT", ".txt", true));
  EXPECT_FALSE(EndsWith("file.TXT", ".txt"));
  EXPECT_TRUE(StartsWith("x", ""));
  EXPECT_FALSE(EndsWith("", "x"));
  EXPECT_EQ(AsciiLowerText("AbC\xC4\xE3Z"), "abc\xC4\xE3z");
  // The backslash here is the trailing byte of one character, not a suffix.
  EXPECT_FALSE(EndsWith(kTrailBackslash, "\\"));
  EXPECT_TRUE(EndsWith(std::string(kTrailBackslash) + "\\", "\\"));
}

}  // namespace
}  // namespace tessaly
