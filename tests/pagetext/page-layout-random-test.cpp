#include <gtest/gtest.h>
#include <locale.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "pagetext/page-layout.h"
#include "pagetext/unescape-text.h"
#include "support/text.h"

namespace tessaly {
namespace {

// Cutting written with the general text helpers, to hold the quick searches
// of CutPageItems to it.
std::vector<PageItem> ReferenceCut(Text content) {
  content = content.substr(0, content.find('\0'));
  std::vector<PageItem> items;
  const Text list = TextBetween(content, "\"body\":[", "],\"page\"");
  if (list.empty()) return items;
  std::size_t start = 1;
  for (;;) {
    const std::size_t end = FindText(list, "},{", start, true);
    const Text raw = end == 0 ? list.substr(start - 1) : list.substr(start - 1, end - start);
    const Text c = TextBetween(raw, "\"c\":\"", "\",\"p");
    if (!c.empty()) {
      items.push_back(PageItem{UnescapeText(c), TextBetween(raw, "\"y\":", ","),
                               TextBetween(raw, "\"h\":", ","), TextBetween(raw, "\"ps\":", ",")});
    }
    if (end == 0) break;
    start = end + 3;
  }
  return items;
}

Text RandomContent(std::mt19937& rng, bool ascii) {
  static const char* kAscii[] = {"{\"c\":\"",  "\",\"p\":{\"h\":",
                                 ",\"y\":",    "\"ps\":",
                                 "},{",        "\"body\":[",
                                 "],\"page\"", "\"C\":\"",
                                 "\"Y\":",     "\"H\":",
                                 "\"PS\":",    "\",\"P",
                                 "\"BODY\":[", "],\"PAGE\"",
                                 "\"",         ",",
                                 "}",          "{",
                                 "]",          "[",
                                 ":",          "12.5",
                                 "abc",        "\\u6587",
                                 "xyz{}",      "                "};
  static const char* kWide[] = {"\xCE\xC4", "\xB0}", "\x81\"", "\xFE,", "\x81", "\xA1\xAF"};
  Text t;
  if (rng() % 4 != 0) t += "{\"body\":[";
  const int pieces = static_cast<int>(rng() % 60);
  for (int p = 0; p < pieces; ++p) {
    if (!ascii && rng() % 5 == 0) {
      t += kWide[rng() % std::size(kWide)];
    } else if (rng() % 50 == 0) {
      t += '\0';
    } else {
      t += kAscii[rng() % std::size(kAscii)];
    }
  }
  if (rng() % 4 != 0) t += "],\"page\":{}";
  return t;
}

TEST(PageLayoutRandomTest, CuttingAgreesWithTheTextHelpers) {
  std::mt19937 rng(1211);
  int kept = 0;
  for (const bool ascii : {true, false}) {
    for (int n = 0; n < 20000; ++n) {
      const Text content = RandomContent(rng, ascii);
      const std::vector<PageItem> items = CutPageItems(content);
      const std::vector<PageItem> expected = ReferenceCut(content);
      ASSERT_EQ(items.size(), expected.size()) << "[" << content << "]";
      for (std::size_t k = 0; k < items.size(); ++k) {
        ASSERT_EQ(items[k].text, expected[k].text) << "[" << content << "]";
        ASSERT_EQ(items[k].y, expected[k].y) << "[" << content << "]";
        ASSERT_EQ(items[k].h, expected[k].h) << "[" << content << "]";
        ASSERT_EQ(items[k].ps, expected[k].ps) << "[" << content << "]";
      }
      kept += static_cast<int>(items.size());
    }
  }
  EXPECT_GT(kept, 1000);  // the cases reach items, not only empty lists
}

TEST(PageLayoutRandomTest, LeadingNumberReadsAsStrtodInTheCLocale) {
  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  ASSERT_NE(c, static_cast<locale_t>(nullptr));
  static const char* kSuffixes[] = {"", ",", "e5", "E-2", "x", " ", "abc", ".", "..5", "}"};
  static const char* kOthers[] = {" 12", "0x1A", "inf", "nan", "-", "+", ".", "-.5", "+-1", ""};
  std::mt19937 rng(4);
  for (int n = 0; n < 50000; ++n) {
    Text text;
    if (rng() % 10 == 0) {
      text = kOthers[rng() % std::size(kOthers)];
    } else {
      const unsigned sign = rng() % 4;
      if (sign == 1) text += '-';
      if (sign == 2) text += '+';
      for (unsigned d = rng() % 18; d > 0; --d) text += static_cast<char>('0' + rng() % 10);
      if (rng() % 2 == 0) {
        text += '.';
        for (unsigned d = rng() % 18; d > 0; --d) text += static_cast<char>('0' + rng() % 10);
      }
    }
    text += kSuffixes[rng() % std::size(kSuffixes)];
    const double expected = strtod_l(text.c_str(), nullptr, c);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(LeadingNumber(text)),
              std::bit_cast<std::uint64_t>(expected))
        << "[" << text << "]";
  }
  freelocale(c);
}

}  // namespace
}  // namespace tessaly
