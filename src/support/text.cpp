#include "support/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tessaly {

namespace {

bool IsSpaceAt(std::string_view text, std::size_t i, std::size_t& width) {
  if (text[i] == ' ') {
    width = 1;
    return true;
  }
  if (text.compare(i, kFullWidthSpace.size(), kFullWidthSpace) == 0 && i + 1 < text.size()) {
    width = 2;
    return true;
  }
  return false;
}

bool MatchesAt(std::string_view text, std::size_t i, std::string_view what, bool ignoreCase) {
  if (what.size() > text.size() - i) return false;
  if (!ignoreCase) return text.compare(i, what.size(), what) == 0;
  for (std::size_t k = 0; k < what.size(); ++k) {
    if (AsciiLower(text[i + k]) != AsciiLower(what[k])) return false;
  }
  return true;
}

}  // namespace

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

Text AsciiLowerText(std::string_view text) {
  Text out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::size_t CharWidthAt(std::string_view text, std::size_t i) {
  if (i + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[i]))) return 2;
  return 1;
}

std::size_t FindText(std::string_view text, std::string_view what, std::size_t start,
                     bool ignoreCase) {
  if (start == 0) start = 1;
  if (start > text.size() + 1) return 0;
  if (what.empty()) return start;
  const std::size_t from = start - 1;
  const char first = ignoreCase ? AsciiLower(what[0]) : what[0];
  // Walk from the beginning so that character boundaries are known.
  for (std::size_t i = 0; i < text.size(); i += CharWidthAt(text, i)) {
    if (i < from) continue;
    if (text.size() - i < what.size()) return 0;
    const char c = ignoreCase ? AsciiLower(text[i]) : text[i];
    if (c == first && MatchesAt(text, i, what, ignoreCase)) return i + 1;
  }
  return 0;
}

Text ReplaceText(std::string_view text, std::string_view what, std::string_view with,
                 bool ignoreCase) {
  if (what.empty() || text.size() < what.size()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (MatchesAt(text, i, what, ignoreCase)) {
      out.append(with);
      i += what.size();
      continue;
    }
    const std::size_t w = CharWidthAt(text, i);
    out.append(text.substr(i, w));
    i += w;
  }
  return out;
}

Text TextBetween(std::string_view source, std::string_view left, std::string_view right) {
  const Text l = ReplaceText(left, kQuotePlaceholder, "\"");
  const Text r = ReplaceText(right, kQuotePlaceholder, "\"");
  const std::size_t at = FindText(source, l, 1, true);
  if (at == 0) return {};
  const std::size_t contentStart = at + l.size();  // 1-based
  const std::size_t end = FindText(source, r, contentStart, true);
  if (end == 0) return {};
  return Text(source.substr(contentStart - 1, end - contentStart));
}

Text TrimSpaces(std::string_view text) {
  std::size_t begin = 0;
  std::size_t width = 0;
  while (begin < text.size() && IsSpaceAt(text, begin, width)) begin += width;
  // Find the end by walking forward, so a trailing byte "\xA1" of another
  // character is never mistaken for half of a full-width space.
  std::size_t end = begin;
  std::size_t i = begin;
  while (i < text.size()) {
    if (IsSpaceAt(text, i, width)) {
      i += width;
      continue;
    }
    i += CharWidthAt(text, i);
    end = i;
  }
  return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  std::size_t width = 0;
  while (i < text.size()) {
    if (IsSpaceAt(text, i, width)) {
      i += width;
      continue;
    }
    const std::size_t w = CharWidthAt(text, i);
    out.append(text.substr(i, w));
    i += w;
  }
  return out;
}

std::int64_t TextToInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10)
      return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

Text NumberToText(double value) {
  if (std::isnan(value) || value == 0) return "0";
  if (std::isinf(value))
    value = value > 0 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
  // Thirteen significant digits, rounded, then written out without an exponent.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.12e", std::fabs(value));
  const std::string_view s(buffer);
  const std::size_t e = s.find('e');
  Text digits;
  for (char c : s.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }
  const int exponent = std::atoi(buffer + e + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  Text out = value < 0 ? "-" : "";
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else if (static_cast<std::size_t>(exponent) + 1 >= digits.size()) {
    out += digits;
    out.append(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(exponent) + 1);
    out += '.';
    out += digits.substr(static_cast<std::size_t>(exponent) + 1);
  }
  return out;
}

Text IntegerToText(std::int64_t value) { return std::to_string(value); }

std::int64_t RoundHalfUp(double value) {
  return static_cast<std::int64_t>(std::floor(value + 0.5));
}

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

int ProgressFillWidth(double percent, int frameWidth) {
  return TruncateToInt(percent / 100.0 * (frameWidth - 2));
}

Text HeaderName(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  return TrimSpaces(line.substr(0, colon));
}

Text HeaderValue(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  return TrimSpaces(line.substr(colon + 1));
}

bool StartsWith(std::string_view text, std::string_view prefix, bool ignoreCase) {
  return text.size() >= prefix.size() && MatchesAt(text, 0, prefix, ignoreCase);
}

bool EndsWith(std::string_view text, std::string_view suffix, bool ignoreCase) {
  // Through FindText so that a suffix never starts on a trailing byte.
  return text.size() >= suffix.size() && FindText(text, suffix, text.size() - suffix.size() + 1,
                                                  ignoreCase) == text.size() - suffix.size() + 1;
}

TextList SplitText(std::string_view text, std::string_view separator) {
  TextList pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t pieceStart = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (MatchesAt(text, i, separator, false)) {
      pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
      i += separator.size();
      pieceStart = i;
      continue;
    }
    i += CharWidthAt(text, i);
  }
  pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

}  // namespace tessaly
