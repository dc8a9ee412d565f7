// The json and png lists that a view page carries inside one of its script
// strings, in the page's own escaped form.
#pragma once

#include <string_view>

#include "support/text.h"

namespace tessaly {

// Markers of the two lists, as the page writes them ("\x22" is the page's own
// escape for a double quote, four characters).
inline constexpr std::string_view kContentListLeft = R"(\x22json\x22:)";
inline constexpr std::string_view kContentListRight = R"(,\x22png\x22:)";
inline constexpr std::string_view kPictureListLeft = R"(\x22png\x22:)";
inline constexpr std::string_view kPictureListRight = "',\r\n";

// Cuts one list out of the page and returns its addresses in order.
TextList ReadPageList(std::string_view page, std::string_view left, std::string_view right);

inline TextList ReadContentList(std::string_view page) {
  return ReadPageList(page, kContentListLeft, kContentListRight);
}
inline TextList ReadPictureList(std::string_view page) {
  return ReadPageList(page, kPictureListLeft, kPictureListRight);
}

}  // namespace tessaly
