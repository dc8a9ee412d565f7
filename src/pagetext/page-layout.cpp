#include "pagetext/page-layout.h"

#include <locale.h>

#include <clocale>
#include <cstdlib>

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
  if (ascii) {
    for (std::size_t i = from; i <= last; ++i) {
      if ((data[i] == lower || data[i] == upper) && matchesAt(i)) return i;
    }
    return std::string_view::npos;
  }
  for (std::size_t i = from; i <= last;) {
    const char c = data[i];
    if ((c == lower || c == upper) && matchesAt(i)) return i;
    i += IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < size ? 2 : 1;
  }
  return std::string_view::npos;
}

bool IsAscii(std::string_view text) {
  unsigned char any = 0;
  for (char c : text) any |= static_cast<unsigned char>(c);
  return any < 0x80;
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

}  // namespace

double LeadingNumber(const Text& text) {
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
