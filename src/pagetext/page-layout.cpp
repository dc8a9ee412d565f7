#include "pagetext/page-layout.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

#include "pagetext/text-cleanup.h"
#include "pagetext/unescape-text.h"

namespace tessaly {
namespace {

constexpr std::string_view kItemListLeft = "\"body\":[";
constexpr std::string_view kItemListRight = "],\"page\"";
constexpr std::string_view kItemSeparator = "},{";
constexpr std::string_view kEnterStyle = "{\"_enter\":1}";
constexpr double kGapEpsilon = 0.0000001;

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
  const Text list = TextBetween(content, kItemListLeft, kItemListRight);
  if (list.empty()) return items;
  for (const Text& raw : SplitText(list, kItemSeparator)) {
    Text c = TextBetween(raw, "\"c\":\"", "\",\"p");
    if (c.empty()) continue;
    items.push_back(PageItem{UnescapeText(c), TextBetween(raw, "\"y\":", ","),
                             TextBetween(raw, "\"h\":", ","), TextBetween(raw, "\"ps\":", ",")});
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
      const double gap = LeadingNumber(item.y) - LeadingNumber(previous.y) - LeadingNumber(previous.h);
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
