// Code-page conversion at the edges: GBK inside, UTF-8 and UTF-16 outside.
//
// Nothing here fails: bytes that do not convert are replaced, one replacement per
// offending unit, and the conversion goes on.
#pragma once

#include <string>
#include <string_view>

#include "support/text.h"

namespace tessaly {

// GBK bytes that are not a valid GBK character become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
std::u16string GbkToUtf16(std::string_view gbk);

// Characters GBK cannot hold, and malformed UTF-8 or lone surrogates, become "?".
Text Utf8ToGbk(std::string_view utf8);
Text Utf16ToGbk(std::u16string_view utf16);

// One UTF-16 code unit as GBK; "?" when GBK lacks it (also for a lone surrogate).
Text CodeUnitToGbk(char16_t unit);

bool IsValidUtf8(std::string_view text);

}  // namespace tessaly
