#include "pagetext/unescape-text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/codepage.h"

namespace tessaly {
namespace {

struct Case {
  const char* item;      // UTF-8 here, GBK for the decoder
  const char* expected;  // UTF-8
  const char* why;
};

void Check(const Case& c) {
  const Text decoded = UnescapeText(Utf8ToGbk(c.item));
  EXPECT_EQ(GbkToUtf8(decoded), c.expected) << c.why << ": [" << c.item << "]";
}

TEST(UnescapeTextTest, TheScriptPath) {
  const Case cases[] = {
      {"\\u6587\\u5E93", "文库", "\\u escapes of Chinese characters"},
      {"say \\\"hi\\\"", "say \"hi\"", "escaped double quotes"},
      {"a\\\\b", "a\\b", "escaped backslash"},
      {"a\\/b", "a/b", "escaped slash"},
      {"\\n\\t\\r\\b\\f", "\n\t\r\b\f", "control escapes"},
      {"\\v", "v", "the classic engine has no \\v"},
      {"\\101\\60", "A0", "octal escapes"},
      {"\\x41\\x4e", "AN", "\\x escapes"},
      {"\\q\\中", "q中", "any other escaped character is itself"},
      {"\\U4E2D", "U4E2D", "only the lower-case \\u is an escape"},
      {"x\r\ny", "x\r\ny", "CR LF passes through the placeholder"},
      {"x{$}y", "x\r\ny", "a placeholder in the text becomes CR LF"},
      {"\\\r\nz", "\r\nz", "a backslash before CR LF escapes the placeholder's brace"},
      {"it's", "it's", "apostrophe"},
      {"it’s", "it's", "the quote substitute comes back as an apostrophe"},
      {"\\u2019", "'", "so does a decoded U+2019"},
      {"\\'", "'", "an escaped apostrophe"},
      {"\rabc", "abc", "a leading lone CR is removed"},
      {"\r\r\nabc", "\r\nabc", "only the one leading CR"},
      {"100%25", "100%", "%HH"},
      {"%41%4a", "AJ", "%HH in either case"},
      {"%u4E2D%u6587", "中文", "%uHHHH"},
      {"50%zz %U4E2D %u4E2 %4 %", "50%zz %U4E2D %u4E2 %4 %", "other % stay"},
      {"\\\\u4E2D", "中", "\\u after an escaped backslash is rewritten too"},
      {"\\u00e9", "é", "a Latin letter GBK has"},
      {"\\u0E01|\\uD83D\\uDE00", "?|?", "characters GBK lacks"},
      {"ab\\0cd%00e", "abcde", "NUL cannot live in a text"},
      {"\\u4E2D\\x%41", "中\\xA", "a malformed \\x takes the built-in decoder"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(UnescapeTextTest, TextsTheScriptRejectsTakeTheBuiltInDecoder) {
  const Case cases[] = {
      {"a\nb\\u4E2D\\\"", "a\nb中\\\"", "lone LF: %u decoded, backslash escapes kept"},
      {"a\rb%41", "a\rbA", "lone CR in the middle"},
      {"x\r\n\ny’'", "x\r\n\ny''", "substitutions undone on the built-in result"},
      {"%41\\", "A\\", "a final single backslash"},
      {"\\n%41\\", "\\nA\\", "the built-in decoder copies backslash escapes"},
      {"\\x4", "\\x4", "\\x cut off at the end"},
      {"\\xZZ%u4E2D", "\\xZZ中", "\\x without hex digits"},
      {"\\0", "\\0", "a script result that is empty"},
      {"%00", "%00", "the built-in decoder leaves a NUL escape as it is"},
      {"%u0000\n", "%u0000\n", "... also in its four-digit form"},
      {"%u00E9\n", "é\n", "hex digits that read as decimal 0 are still decoded"},
      {"%\n%u%u12%4", "%\n%u%u12%4", "escapes cut off at the end"},
      {"%uD800\n", "?\n", "a lone surrogate"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(UnescapeTextTest, BadBytesNeverCrash) {
  EXPECT_EQ(UnescapeText("a\x81"), "a?");  // lone lead byte at the end
  EXPECT_EQ(UnescapeText("\xFF%41"), "?A");
  EXPECT_EQ(UnescapeText("\\"), "\\");
  EXPECT_EQ(UnescapeText("\r"), "");
  EXPECT_EQ(UnescapeText("\r\n"), "\r\n");
  EXPECT_EQ(UnescapeText(""), "");
  // A GBK character whose trailing byte is a backslash escapes nothing.
  EXPECT_EQ(UnescapeText("\x95\x5Cu4E2D"), "\x95\x5Cu4E2D");
}

TEST(UnescapeTextTest, PartsDirectly) {
  EXPECT_FALSE(EvaluateEscapedLiteral("a\nb").has_value());
  EXPECT_FALSE(EvaluateEscapedLiteral("a\\").has_value());
  EXPECT_FALSE(EvaluateEscapedLiteral("\\u12").has_value());
  EXPECT_EQ(EvaluateEscapedLiteral("\\u4e2d").value_or("none"), "\xD6\xD0");
  EXPECT_EQ(EvaluateEscapedLiteral("\\\\").value_or("none"), "\\");
  EXPECT_EQ(BuiltInUnescape("a%u4E2D%41\\n"), "a\xD6\xD0\x41\\n");
  EXPECT_EQ(BuiltInUnescape("%uZZZZ%ZZ"), "%uZZZZ%ZZ");
}

TEST(UnescapeTextTest, OneMegabyteItem) {
  std::string item;
  while (item.size() < (1u << 20)) item += "\\u6587\\u5E93 %41\\\"x\\\" ";
  const Text decoded = UnescapeText(item);
  const Text piece = "\xCE\xC4\xBF\xE2 A\"x\" ";  // 文库 A"x"
  ASSERT_EQ(decoded.size() % piece.size(), 0u);
  EXPECT_EQ(decoded.substr(0, piece.size()), piece);
  EXPECT_EQ(decoded.substr(decoded.size() - piece.size()), piece);
  item += "\n";  // now the built-in decoder
  const Text fallback = UnescapeText(item);
  EXPECT_EQ(fallback.substr(0, 10), "\xCE\xC4\xBF\xE2 A\\\"x\\");
}

}  // namespace
}  // namespace tessaly
