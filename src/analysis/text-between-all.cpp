#include "analysis/text-between-all.h"

namespace tessaly {

TextList TextBetweenAll(std::string_view source, std::string_view left, std::string_view right) {
  TextList items;
  // An empty marker would match everywhere and never advance.
  if (left.empty() || right.empty()) return items;
  std::size_t from = 1;
  for (;;) {
    const std::size_t at = FindText(source, left, from, true);
    if (at == 0) break;
    const std::size_t content = at + left.size();
    const std::size_t end = FindText(source, right, content, true);
    if (end == 0) break;
    Text item = TrimSpaces(source.substr(content - 1, end - content));
    if (item.empty()) {
      from = content;
    } else {
      items.push_back(std::move(item));
      from = end;
    }
  }
  return items;
}

}  // namespace tessaly
