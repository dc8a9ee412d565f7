// One page's content data turned into the bytes of its page file, without any
// network or file access.
#pragma once

#include <string_view>

#include "support/text.h"

namespace tessaly {

struct PageTextOptions {
  bool deleteBlankLines = false;
  bool trimLines = false;
};

// One kept text item of a page: its decoded text and the raw y, h and ps values.
struct PageItem {
  Text text;
  Text y;
  Text h;
  Text ps;
};

// The page's kept items in reading order; items whose text is empty are left out.
std::vector<PageItem> CutPageItems(std::string_view content);

// The page text: items joined, a line ending after an "_enter" item and before an
// item that starts lower than the previous one's bottom after a trailing space.
Text LayoutPageItems(const std::vector<PageItem>& items);
Text LayoutPageItems(std::string_view content);

// The page file's bytes for a laid-out page text: every line followed by CR LF.
Text PageFileText(std::string_view pageText, const PageTextOptions& options);

// The leading decimal number of a text as the C library's atof reads it, in the
// C locale whatever the process locale is.
double LeadingNumber(const Text& text);

}  // namespace tessaly
