#include "support/regex-object.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

TEST(RegexObjectTest, EmptyObjectGivesEmptyResults) {
  RegexObject regex;
  EXPECT_EQ(regex.GetPattern(), "");
  EXPECT_EQ(regex.Replace("x"), "");
  EXPECT_EQ(regex.MatchCount(), 0);
  int position = 7;
  EXPECT_EQ(regex.MatchText(1, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
  EXPECT_EQ(regex.SubMatchCount(), 0);
  regex.Noop();
  regex.Destroy();
  EXPECT_EQ(regex.GetPattern(), "");
}

TEST(RegexObjectTest, NoMatchIsStillACollection) {
  RegexObject regex;
  EXPECT_TRUE(regex.Create("xyz", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.Replace("-"), "abc");
  EXPECT_EQ(regex.GetPattern(), "xyz");
}

TEST(RegexObjectTest, DefaultsIgnoreCaseAreMultilineAndGlobal) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("^ab", "AB1\nab2\naB3\nxab"));
  EXPECT_EQ(regex.MatchCount(), 3);
  EXPECT_EQ(regex.Replace("_"), "_1\n_2\n_3\nxab");
  int position = 0;
  EXPECT_EQ(regex.MatchText(2, &position), "ab");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.MatchText(3, &position), "aB");
  EXPECT_EQ(position, 8);
  EXPECT_EQ(regex.MatchText(4, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(regex.MatchText(0), "");

  ASSERT_TRUE(regex.Create("ab$", "xab\r\nyAB\rzab"));
  EXPECT_EQ(regex.MatchCount(), 3);  // CR LF, CR and the end are line ends
}

TEST(RegexObjectTest, OptionsTurnOff) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("^ab", "ab\nAB\nab", true, true, true));
  EXPECT_EQ(regex.MatchCount(), 2);  // case-sensitive
  ASSERT_TRUE(regex.Create("^ab", "ab\nab", false, false, true));
  EXPECT_EQ(regex.MatchCount(), 1);  // "^" only at the start
  ASSERT_TRUE(regex.Create("ab$", "ab\n", false, false, true));
  EXPECT_EQ(regex.MatchCount(), 0);  // "$" only at the very end
  ASSERT_TRUE(regex.Create("a", "banana", false, true, false));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.Replace("o"), "bonana");
}

TEST(RegexObjectTest, CaseFoldingIsAsciiOnly) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("Z", "z\xA8\xA4Z"));
  EXPECT_EQ(regex.MatchCount(), 2);
  // C4 and E4 differ only in the bit that folds Latin-1 letters; here they stay apart.
  ASSERT_TRUE(regex.Create("\xC4\xE3", "\xE4\xE3"));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObjectTest, WhiteSpaceClassIsTheScriptOne) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("\\s", std::string(" \t\n\r\v\f", 6) + "\xA1\xA1\x61"));
  EXPECT_EQ(regex.MatchCount(), 6);                            // the full-width space is no \s here
  ASSERT_TRUE(regex.Create("\\d+|\\w+", "ab_1 23 \xD6\xD0"));  // 中 is no word character
  EXPECT_EQ(regex.MatchCount(), 2);
}

TEST(RegexObjectTest, QuotePlaceholderStandsForADoubleQuote) {
  const Text pattern = "a#\xD2\xFD\xBA\xC5\x62";  // a#引号b
  RegexObject regex;
  ASSERT_TRUE(regex.Create(pattern, "xa\"by", false, true, true, true));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.MatchText(1), "a\"b");
  EXPECT_EQ(regex.GetPattern(), "a\"b");
  ASSERT_TRUE(regex.Create(pattern, "xa\"by"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.GetPattern(), pattern);
}

TEST(RegexObjectTest, SubMatchesAndTheirPositions) {
  RegexObject regex;
  // 中 before the matches makes byte and character offsets differ.
  ASSERT_TRUE(regex.Create("(\\d+)-(x)?(\\d+)", "\xD6\xD0 12-34 \xD6\xD0 5-x6"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchCount(), 3);
  int position = 0;
  EXPECT_EQ(regex.MatchText(1, &position), "12-34");
  EXPECT_EQ(position, 3);
  EXPECT_EQ(regex.SubMatchText(1, 3, &position), "34");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(regex.SubMatchText(1, 2, &position), "");  // group 2 took no part
  EXPECT_EQ(position, -1);
  EXPECT_EQ(regex.MatchText(2, &position), "5-x6");
  EXPECT_EQ(position, 12);
  EXPECT_EQ(regex.SubMatchText(2, 2, &position), "x");
  EXPECT_EQ(position, 14);
  EXPECT_EQ(regex.SubMatchText(2, 4), "");
  EXPECT_EQ(regex.SubMatchText(2, 0), "");
}

TEST(RegexObjectTest, PositionIsTheMatchItselfNotAnEarlierCopy) {
  RegexObject regex;
  // The second "a" lies at character 3 but byte 5; a text search from the
  // character offset would find the first "a" at byte 4.
  ASSERT_TRUE(regex.Create("a", "\xD6\xD0\xD6\xD0\x61\x61"));
  ASSERT_EQ(regex.MatchCount(), 2);
  int position = 0;
  regex.MatchText(2, &position);
  EXPECT_EQ(position, 5);
}

TEST(RegexObjectTest, ReplacementPatterns) {
  struct Case {
    const char* pattern;
    const char* subject;
    const char* replacement;
    const char* expected;
  };
  const Case cases[] = {
      {"(\\w+)@(\\w+)", "me@host", "$2 at $1", "host at me"},
      {"b", "abc", "[$&]", "a[b]c"},
      {"b", "abc", "[$`]", "a[a]c"},
      {"b", "abc", "[$']", "a[c]c"},
      {"b", "abc", "$$", "a$c"},
      {"b", "abc", "$", "a$c"},
      {"(b)", "abc", "$2$1", "a$2bc"},        // no group 2: written as it is
      {"(b)", "abc", "$10", "ab0c"},          // $1 followed by 0
      {"(b)", "abc", "$01", "abc"},           // two-digit form of group 1
      {"x*", "ab", "-", "-a-b-"},             // empty matches step one character
      {"x*", "\xD6\xD0", "-", "-\xD6\xD0-"},  // ... a whole double-byte one
      {"\\n\\s*\\r", "a\r\n\r\nb", "", "a\r\nb"},
  };
  for (const Case& c : cases) {
    RegexObject regex;
    ASSERT_TRUE(regex.Create(c.pattern, c.subject)) << c.pattern;
    EXPECT_EQ(regex.Replace(c.replacement), c.expected) << c.pattern << " / " << c.replacement;
  }
}

TEST(RegexObjectTest, NeverMatchesOnATrailingByte) {
  RegexObject regex;
  // 81 61 and 81 5C are double-byte characters ending in "a" and in a backslash.
  ASSERT_TRUE(regex.Create("a", "\x81\x61\x61\x81\x61"));
  ASSERT_EQ(regex.MatchCount(), 1);
  int position = 0;
  regex.MatchText(1, &position);
  EXPECT_EQ(position, 2);
  ASSERT_TRUE(regex.Create("\\\\", "\x81\x5C\\"));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.Replace("/"), "\x81\x5C/");
}

TEST(RegexObjectTest, RejectedPatternsReturnFalse) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("a", "a"));
  for (const char* bad : {"(", "[a", "a{2,1}", "*a", "(?<n"}) {
    EXPECT_FALSE(regex.Create(bad, "abc")) << bad;
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.Replace("x"), "");
    EXPECT_EQ(regex.GetPattern(), bad);
  }
  // The script syntax has no error for an unknown escape: it is the letter.
  EXPECT_TRUE(regex.Create("\\q", "q"));
  EXPECT_EQ(regex.MatchCount(), 1);
}

TEST(RegexObjectTest, CopySharesTheExpressionAndKeepsItsOwnSubject) {
  RegexObject original;
  ASSERT_TRUE(original.Create("(o)", "foo"));
  RegexObject copy = original.Copy();
  original.Destroy();
  EXPECT_EQ(original.MatchCount(), 0);
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.GetPattern(), "(o)");
  EXPECT_EQ(copy.Replace("[$1]"), "f[o][o]");
  EXPECT_TRUE(original.Create("x", "xx"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.MatchText(2), "o");
}

TEST(RegexObjectTest, OneMegabyteSubjectDoesNotCrash) {
  std::string subject;
  subject.reserve(1 << 20);
  while (subject.size() < (1u << 20)) subject += "line of text \xD6\xD0\r\n  \t\r\n";
  RegexObject regex;
  ASSERT_TRUE(regex.Create("\\n\\s*\\r", subject));
  EXPECT_GT(regex.MatchCount(), 30000);
  const Text replaced = regex.Replace("");
  EXPECT_EQ(replaced.find("\n  \t\r"), std::string::npos);

  // Patterns that backtrack deeply over the whole subject.
  const std::string as(1 << 20, 'a');
  for (const char* pattern : {"(a|b)*c", "(a*)*b", "^(?:a|aa)+$", "(.)+", "(a+)+$"}) {
    RegexObject heavy;
    EXPECT_TRUE(heavy.Create(pattern, as)) << pattern;
    EXPECT_LE(heavy.MatchCount(), 1) << pattern;
  }
  RegexObject whole;
  ASSERT_TRUE(whole.Create("[\\s\\S]*", as));
  ASSERT_GE(whole.MatchCount(), 1);
  EXPECT_EQ(whole.MatchText(1).size(), as.size());
}

}  // namespace
}  // namespace tessaly
