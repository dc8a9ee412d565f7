#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pagetext/unescape-text.h"
#include "support/text.h"

namespace tessaly {
namespace {

// The decoding written as the plain sequence of steps, to hold the quick
// paths of UnescapeText to it.
Text ReferenceUnescape(const Text& text) {
  const Text quote = "\xA1\xAF";  // ’
  Text prepared = ReplaceText(text, "\r\n", "{$}");
  if (!prepared.empty() && prepared.front() == '\r') prepared.erase(0, 1);
  if (FindText(prepared, "\\u") != 0) prepared = ReplaceText(prepared, "\\u", "%u");
  prepared = ReplaceText(prepared, "'", quote);
  std::optional<Text> result = EvaluateEscapedLiteral(prepared);
  if (!result.has_value() || result->empty()) result = BuiltInUnescape(prepared);
  return ReplaceText(ReplaceText(*result, quote, "'"), "{$}", "\r\n");
}

std::string Hex(std::mt19937& rng, int digits) {
  static const char* hex = "0123456789abcdefABCDEF";
  std::string s;
  for (int i = 0; i < digits; ++i) s += hex[rng() % 22];
  return s;
}

std::string Unit(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", value & 0xFFFF);
  return buffer;
}

// Not "a" + b: GCC 12 warns wrongly about that inlined.
std::string Joined(std::string head, const std::string& tail) {
  head += tail;
  return head;
}

// One random piece of an item; `ascii` keeps to bytes the quick path takes.
std::string Piece(std::mt19937& rng, bool ascii) {
  static const unsigned kUnits[] = {0x0000, 0x0027, 0x0041, 0x007B, 0x007F, 0x00E9, 0x0E01,
                                    0x2019, 0x4E2D, 0x6587, 0x5E93, 0xD800, 0xD83D, 0xDE00,
                                    0xDFFF, 0xE000, 0xFEFF, 0xFF01, 0xFFFD, 0x3000};
  static const char* kFixed[] = {"{$}",  "{",   "$}",     "'",   "\\",    "\\\\", "\\'",
                                 "\\\"", "\\n", "\\v",    "\\0", "\\101", "\\8",  "%",
                                 "%u",   "%00", "%u0000", " ",   "abc",   "12.5", "\\/",
                                 "\\u",  "%2",  "\x7F",   "\x01"};
  static const char* kBytes[] = {"\r",   "\n",   "\r\n", "\xA1\xAF", "\xCE\xC4", "\x81",
                                 "\xFF", "\xA1", "\xAF", "\x80",     ""};
  switch (rng() % (ascii ? 8 : 9)) {
    case 0:
      return Joined("\\u", Unit(kUnits[rng() % std::size(kUnits)]));
    case 1:
      return Joined("%u", Unit(kUnits[rng() % std::size(kUnits)]));
    case 2:
      return Joined("\\u", Hex(rng, static_cast<int>(rng() % 5)));
    case 3:
      return Joined("%", Hex(rng, static_cast<int>(rng() % 3)));
    case 4:
      return Joined("\\x", Hex(rng, static_cast<int>(rng() % 3)));
    case 5:
      return kFixed[rng() % std::size(kFixed)];
    case 6:
      return std::string(1, static_cast<char>(0x01 + rng() % 0x7F));
    case 7:
      return Joined("\\", std::string(1, static_cast<char>(0x20 + rng() % 0x5F)));
    default: {
      const std::size_t k = rng() % std::size(kBytes);
      return k + 1 == std::size(kBytes) ? std::string(1, '\0') : std::string(kBytes[k]);
    }
  }
}

TEST(UnescapeTextRandomTest, QuickPathsAgreeWithTheStepByStepDecoding) {
  std::mt19937 rng(20261211);
  for (const bool ascii : {true, false}) {
    for (int n = 0; n < 20000; ++n) {
      Text item;
      const int pieces = static_cast<int>(rng() % 8);
      for (int p = 0; p < pieces; ++p) item += Piece(rng, ascii);
      ASSERT_EQ(UnescapeText(item), ReferenceUnescape(item)) << "[" << item << "]";
    }
  }
}

TEST(UnescapeTextRandomTest, UsualItemsAgreeWithTheStepByStepDecoding) {
  // Decoding twice: the first fills what the second reuses.
  const std::vector<Text> items = {"\\u6587\\u5b57123",       "plain text, it's fine",
                                   "\\u00e9t\\u00e9 {$}",     "\\u2019\\u4e2d'",
                                   "\\u0e01 \\ud83d\\ude00",  "\\ufeffx\\uFEFF",
                                   "\\u3000\\uff01%u4e2d%41", "{$}{$}"};
  for (int round = 0; round < 2; ++round) {
    for (const Text& item : items) EXPECT_EQ(UnescapeText(item), ReferenceUnescape(item)) << item;
  }
  EXPECT_EQ(UnescapeText("\\u6587\\u5b57123"),
            "\xCE\xC4\xD7\xD6"
            "123");  // 文字123
}

}  // namespace
}  // namespace tessaly
