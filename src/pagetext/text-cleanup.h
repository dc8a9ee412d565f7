// The two text options applied to a page's text.
#pragma once

#include <string_view>

#include "support/text.h"

namespace tessaly {

// The text without the blank lines between lines of text: a leading and a
// trailing CR LF are removed once, then every match of "\n\s*\r".
Text DeleteBlankLines(const Text& text);
// The same through RegexObject; kept to check the scan against the engine.
Text DeleteBlankLinesByRegex(const Text& text);

// The line without ASCII spaces at both ends; tabs and full-width spaces stay.
Text TrimLine(std::string_view line);

}  // namespace tessaly
