// GBK byte text and the helpers every subsystem shares.
//
// A Text is a string of bytes in the GBK code page. Positions in the interfaces
// are 1-based byte positions; 0 means "not found". Searches step character by
// character, so a match never starts on the trailing byte of a double-byte
// character, and case folding touches only the ASCII letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

using Text = std::string;
using Bytes = std::string;
using TextList = std::vector<Text>;

// The double-quote placeholder accepted in markers and patterns: "#引号".
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";
// The full-width space, GBK A1A1.
inline constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Width in bytes of the character starting at index i (0-based): 2 for a lead
// byte followed by another byte, else 1. A lone lead byte at the end counts as 1.
std::size_t CharWidthAt(std::string_view text, std::size_t i);

// 1-based position of the first occurrence of `what` starting at or after the
// 1-based position `start`, or 0. An empty `what` is found at `start` when it
// lies within the text (or just past its end).
std::size_t FindText(std::string_view text, std::string_view what, std::size_t start = 1,
                     bool ignoreCase = false);

// Every occurrence of `what`, left to right, without overlap. An empty `what`
// replaces nothing.
Text ReplaceText(std::string_view text, std::string_view what, std::string_view with,
                 bool ignoreCase = false);

// The text between the first `left` and the next `right` after it, with the
// "#引号" placeholder in either marker standing for a double quote; empty when
// either is missing.
Text TextBetween(std::string_view source, std::string_view left, std::string_view right);

// Half-width spaces and the full-width space removed at both ends; tabs and line
// breaks stay.
Text TrimSpaces(std::string_view text);
// Every half-width and full-width space removed.
Text RemoveSpaces(std::string_view text);

// Leading optional sign and decimal digits after leading blanks; 0 when there
// are none. Saturates at the limits of int64_t instead of overflowing.
std::int64_t TextToInteger(std::string_view text);

// Plain decimal, no leading zeros, at most 13 significant digits, no fraction for
// whole values.
Text NumberToText(double value);
Text IntegerToText(std::int64_t value);

// Nearest whole number, halves rounded up.
std::int64_t RoundHalfUp(double value);
// Geometry from control sizes: truncated toward zero.
int TruncateToInt(double value);
// percentage / 100 * (frameWidth - 2), truncated.
int ProgressFillWidth(double percent, int frameWidth);

// The text before / after the first ":" of a header line, trimmed of spaces;
// empty when there is no ":".
Text HeaderName(std::string_view line);
Text HeaderValue(std::string_view line);

bool StartsWith(std::string_view text, std::string_view prefix, bool ignoreCase = false);
bool EndsWith(std::string_view text, std::string_view suffix, bool ignoreCase = false);
char AsciiLower(char c);
Text AsciiLowerText(std::string_view text);

// Split at every occurrence of `separator` (byte-exact, character-stepping); a
// text without it is one piece. An empty text gives one empty piece.
TextList SplitText(std::string_view text, std::string_view separator);

}  // namespace tessaly
