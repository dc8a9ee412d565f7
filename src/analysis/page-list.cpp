#include "analysis/page-list.h"

#include "analysis/text-between-all.h"

namespace tessaly {

TextList ReadPageList(std::string_view page, std::string_view left, std::string_view right) {
  Text list = TextBetween(page, left, right);
  list = ReplaceText(list, R"(\x22)", "");
  list = ReplaceText(list, R"(\\\)", "");
  return TextBetweenAll(list, "pageLoadUrl:", "}");
}

}  // namespace tessaly
