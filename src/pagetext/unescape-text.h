// Decoding the raw content of a page item's JSON string into GBK text.
#pragma once

#include <optional>
#include <string_view>

#include "support/text.h"

namespace tessaly {

// The item text with its escapes decoded. "{$}" in the text comes out as
// CR LF and every "’" (GBK A1AF) as "'", also where an escape produced them.
Text UnescapeText(const Text& text);

// The script evaluation of a prepared text: the string-literal escapes, then
// unescape, then UTF-16 to GBK (a character GBK lacks becomes "?"), without
// NUL characters. Nothing when the script engine would reject the literal (a CR or
// LF, a final single backslash, a malformed \x or \u escape).
std::optional<Text> EvaluateEscapedLiteral(std::string_view prepared);

// The built-in decoder: ordinary bytes are copied, every well-formed "%uHHHH"
// and "%HH" escape with a value other than 0 becomes its character in GBK.
Text BuiltInUnescape(std::string_view prepared);

}  // namespace tessaly
