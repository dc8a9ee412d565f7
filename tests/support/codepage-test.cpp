#include "support/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tessaly {
namespace {

constexpr const char* kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

TEST(CodepageTest, KnownCharacters) {
  struct Case {
    const char* gbk;
    const char* utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\xCE\xC4\xBF\xE2", "文库", u"文库"},
      {"\xA1\xA1", "\xE3\x80\x80", u"\u3000"},  // full-width space
      {"\xA1\xAF", "\xE2\x80\x99", u"\u2019"},  // ’
      {"\x80", "\xE2\x82\xAC", u"\u20AC"},      // euro sign
      {"abc\r\n", "abc\r\n", u"abc\r\n"},
      {"", "", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    EXPECT_EQ(GbkToUtf16(c.gbk), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToGbk(c.utf16), c.gbk) << c.utf8;
  }
  EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodepageTest, EveryDoubleByteCharacterRoundTrips) {
  int converted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string utf8 = GbkToUtf8(gbk);
      if (utf8 == kReplacementUtf8) continue;  // unassigned in the code page
      ++converted;
      EXPECT_EQ(Utf8ToGbk(utf8), gbk) << std::hex << lead << " " << trail;
      const std::u16string utf16 = GbkToUtf16(gbk);
      ASSERT_EQ(utf16.size(), 1u);
      EXPECT_EQ(CodeUnitToGbk(utf16[0]), gbk) << std::hex << lead << " " << trail;
    }
  }
  EXPECT_GT(converted, 21000);
}

TEST(CodepageTest, BadGbkBecomesReplacementCharacters) {
  const std::string r = kReplacementUtf8;
  struct Case {
    std::string gbk, utf8;
  };
  const Case cases[] = {
      {"\x81", r},  // lone lead byte at the end
      {"a\x81", "a" + r},
      {"\xFF", r},
      {"a\xFF\x62", "a" + r + "b"},
      {"\x81 ", r + " "},  // a lead byte before a byte no character continues with
      {"\x81\x7Fz", r + "\x7Fz"},
  };
  for (const Case& c : cases) EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
  EXPECT_EQ(GbkToUtf16("a\x81"), u"a\uFFFD");
}

TEST(CodepageTest, WhatGbkCannotHoldBecomesQuestionMark) {
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80\x62"), "a?b");  // U+1F600
  EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf16ToGbk(std::u16string{u'a', 0xD800, u'b'}), "a?b");  // lone surrogate
  EXPECT_EQ(Utf16ToGbk(std::u16string{0xDC00}), "?");
  EXPECT_EQ(Utf8ToGbk("a\xFF\x62"), "a?b");
  EXPECT_EQ(Utf8ToGbk("\xC3"), "?");  // cut off
  EXPECT_EQ(CodeUnitToGbk(u'\u4E2D'), "\xD6\xD0");
  EXPECT_EQ(CodeUnitToGbk(u'A'), "A");
  EXPECT_EQ(CodeUnitToGbk(0xD800), "?");
  EXPECT_EQ(CodeUnitToGbk(u'\u0E01'), "?");  // Thai
  EXPECT_EQ(CodeUnitToGbk(0), std::string(1, '\0'));
}

TEST(CodepageTest, ValidUtf8) {
  EXPECT_TRUE(IsValidUtf8("文库 abc"));
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_FALSE(IsValidUtf8("\xCE\xC4\xBF\xE2"));
  EXPECT_FALSE(IsValidUtf8("\xC3"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // encoded surrogate
}

TEST(CodepageTest, OneMegabyteOfRandomBytesNeverCrashesOrLoops) {
  std::mt19937 random(12345);
  std::string bytes(1 << 20, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  const std::string utf8 = GbkToUtf8(bytes);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_GE(utf8.size(), bytes.size() / 2);
  const std::u16string utf16 = GbkToUtf16(bytes);
  EXPECT_GE(utf16.size(), bytes.size() / 2);
  EXPECT_LE(utf16.size(), bytes.size());
  const Text gbk = Utf8ToGbk(bytes);
  EXPECT_FALSE(gbk.empty());
  EXPECT_LE(gbk.size(), bytes.size() * 2);
  // What came out holds only characters of the code page.
  EXPECT_EQ(GbkToUtf8(gbk).find(kReplacementUtf8), std::string::npos);
  const Text back = Utf16ToGbk(utf16);
  EXPECT_FALSE(back.empty());
}

}  // namespace
}  // namespace tessaly
