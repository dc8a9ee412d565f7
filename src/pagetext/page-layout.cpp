#include "pagetext/page-layout.h"

#include <locale.h>

#include <bit>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pagetext/text-cleanup.h"
#include "pagetext/unescape-text.h"

namespace tessaly {
namespace {

constexpr std::string_view kItemListLeft = "\"body\":[";
constexpr std::string_view kItemListRight = "],\"page\"";
constexpr std::string_view kItemSeparator = "},{";
constexpr std::string_view kEnterStyle = "{\"_enter\":1}";
constexpr double kGapEpsilon = 0.0000001;

constexpr char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// FindMarker on ASCII text, where every byte starts a character; `marker`
// is not longer than the text. Sixteen starts are tested at once on the
// marker's first two characters before the full comparison.
std::size_t FindAsciiMarker(const char* data, std::size_t size, std::string_view marker,
                            std::size_t from) {
  const std::size_t last = size - marker.size();
  auto matchesAt = [&](std::size_t i) {
    std::size_t k = 0;
    while (k < marker.size() && Fold(data[i + k]) == Fold(marker[k])) ++k;
    return k == marker.size();
  };
  std::size_t i = from;
#if defined(__SSE2__)
  if (marker.size() >= 2) {
    // A letter matches in either case: OR 0x20 folds only the two of them
    // onto the lower-case byte.
    auto orMask = [](char m) {
      const char f = Fold(m);
      return _mm_set1_epi8(f >= 'a' && f <= 'z' ? 0x20 : 0);
    };
    const __m128i fold0 = orMask(marker[0]);
    const __m128i fold1 = orMask(marker[1]);
    const __m128i want0 = _mm_set1_epi8(Fold(marker[0]));
    const __m128i want1 = _mm_set1_epi8(Fold(marker[1]));
    // The second load reads up to data[i + 16].
    for (; i <= last && i + 17 <= size; i += 16) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
      auto bits = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(first, fold0), want0),
                                          _mm_cmpeq_epi8(_mm_or_si128(second, fold1), want1))));
      while (bits != 0) {
        const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(bits));
        if (at > last) return std::string_view::npos;
        if (matchesAt(at)) return at;
        bits &= bits - 1;
      }
    }
  }
#endif
  for (; i <= last; ++i) {
    if (matchesAt(i)) return i;
  }
  return std::string_view::npos;
}

// The 0-based start of `marker` at or after `from`, ASCII case ignored, never on
// a trailing byte; npos when missing. The same rule as TextBetween's, kept here
// without copies because a page runs it thousands of times. Content data is
// mostly pure ASCII (the service escapes the rest), where every byte starts a
// character.
std::size_t FindMarker(std::string_view text, bool ascii, std::string_view marker,
                       std::size_t from) {
  const std::size_t size = text.size();
  if (marker.empty() || marker.size() > size) return std::string_view::npos;
  const std::size_t last = size - marker.size();
  const char lower = Fold(marker[0]);
  const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 'a' + 'A') : lower;
  const char* data = text.data();
  auto matchesAt = [&](std::size_t i) {
    std::size_t k = 1;
    while (k < marker.size() && Fold(data[i + k]) == Fold(marker[k])) ++k;
    return k == marker.size();
  };
  if (ascii) return FindAsciiMarker(data, size, marker, from);
  for (std::size_t i = from; i <= last;) {
    const char c = data[i];
    if ((c == lower || c == upper) && matchesAt(i)) return i;
    i += IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < size ? 2 : 1;
  }
  return std::string_view::npos;
}

bool IsAscii(std::string_view text) {
  std::uint64_t any = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, 8);
    any |= word;
  }
  for (; i < text.size(); ++i) any |= static_cast<unsigned char>(text[i]);
  return (any & 0x8080808080808080ull) == 0;
}

std::string_view Between(std::string_view text, bool ascii, std::string_view left,
                         std::string_view right) {
  const std::size_t at = FindMarker(text, ascii, left, 0);
  if (at == std::string_view::npos) return {};
  const std::size_t content = at + left.size();
  const std::size_t end = FindMarker(text, ascii, right, content);
  if (end == std::string_view::npos) return {};
  return text.substr(content, end - content);
}

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

// A short plain decimal, as coordinates usually are, read without strtod:
// up to 15 digits are an exact integer, and one correctly rounded division by
// an exact power of ten gives strtod's correctly rounded value. Nothing for
// anything else (spaces, exponents, hex, long numbers).
std::optional<double> PlainDecimal(const Text& text) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.c_str();
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  auto take = [&] {
    for (; *p >= '0' && *p <= '9'; ++p) {
      if (++digits > 15) return false;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return true;
  };
  if (!take()) return std::nullopt;
  const int integerDigits = digits;
  if (*p == '.') {
    ++p;
    if (!take()) return std::nullopt;
  }
  fraction = digits - integerDigits;
  if (digits == 0 || *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return std::nullopt;
  double value = static_cast<double>(mantissa);
  if (fraction > 0) value /= kPowers[fraction];
  return negative ? -value : value;
}

}  // namespace

double LeadingNumber(const Text& text) {
  if (const std::optional<double> plain = PlainDecimal(text)) return *plain;
  const locale_t c = CLocale();
  if (c == static_cast<locale_t>(nullptr)) return std::atof(text.c_str());
  return strtod_l(text.c_str(), nullptr, c);
}

std::vector<PageItem> CutPageItems(std::string_view content) {
  std::vector<PageItem> items;
  // Everything after a zero byte is not part of the response text.
  content = content.substr(0, content.find('\0'));
  const bool ascii = IsAscii(content);
  const std::string_view list = Between(content, ascii, kItemListLeft, kItemListRight);
  if (list.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = FindMarker(list, ascii, kItemSeparator, start);
    const std::string_view raw =
        list.substr(start, end == std::string_view::npos ? list.npos : end - start);
    const std::string_view c = Between(raw, ascii, "\"c\":\"", "\",\"p");
    if (!c.empty()) {
      items.push_back(PageItem{UnescapeText(Text(c)), Text(Between(raw, ascii, "\"y\":", ",")),
                               Text(Between(raw, ascii, "\"h\":", ",")),
                               Text(Between(raw, ascii, "\"ps\":", ","))});
    }
    if (end == std::string_view::npos) break;
    start = end + kItemSeparator.size();
  }
  return items;
}

Text LayoutPageItems(const std::vector<PageItem>& items) {
  Text page;
  std::size_t size = 0;
  for (const PageItem& item : items) size += item.text.size() + 2;
  page.reserve(size);
  for (std::size_t j = 0; j < items.size(); ++j) {
    const PageItem& item = items[j];
    if (item.ps == kEnterStyle) {
      page += item.text;
      page += "\r\n";
      continue;
    }
    if (j > 0) {
      const PageItem& previous = items[j - 1];
      const double gap =
          LeadingNumber(item.y) - LeadingNumber(previous.y) - LeadingNumber(previous.h);
      // A space byte can never be the trailing byte of a GBK character.
      if (gap > kGapEpsilon && EndsWith(previous.text, " ")) page += "\r\n";
    }
    page += item.text;
  }
  return page;
}

Text LayoutPageItems(std::string_view content) { return LayoutPageItems(CutPageItems(content)); }

Text PageFileText(std::string_view pageText, const PageTextOptions& options) {
  Text text(pageText);
  if (options.deleteBlankLines) text = DeleteBlankLines(text);
  if (text.empty()) return {};
  TextList lines = SplitText(text, "\r\n");
  if (EndsWith(text, "\r\n")) lines.pop_back();
  Text file;
  file.reserve(text.size() + 2 * lines.size() + 2);
  for (const Text& line : lines) {
    file += options.trimLines ? TrimLine(line) : line;
    file += "\r\n";
  }
  return file;
}

}  // namespace tessaly
