#include "pagetext/unescape-text.h"

#include <string>

#include "support/codepage.h"

namespace tessaly {

namespace {

constexpr std::string_view kLineBreakPlaceholder = "{$}";
constexpr std::string_view kQuoteSubstitute = "\xA1\xAF";  // ’

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The value of `count` hex digits at `at`, or -1.
template <typename String>
long HexRun(const String& s, std::size_t at, std::size_t count) {
  if (at + count > s.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int d = HexValue(static_cast<char16_t>(static_cast<unsigned char>(s[at + i])));
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

bool IsLineTerminator(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }
bool IsOctal(char16_t c) { return c >= u'0' && c <= u'7'; }

// A single-quoted string literal as the script engine reads it: the classic
// engine's escapes, where \v is just "v" and octal escapes are kept.
std::optional<std::u16string> ReadLiteral(const std::u16string& source) {
  std::u16string value;
  value.reserve(source.size());
  for (std::size_t i = 0; i < source.size(); ++i) {
    const char16_t c = source[i];
    if (IsLineTerminator(c)) return std::nullopt;
    if (c != u'\\') {
      value += c;
      continue;
    }
    if (++i >= source.size()) return std::nullopt;  // escapes the closing quote
    const char16_t e = source[i];
    switch (e) {
      case u'b':
        value += u'\b';
        break;
      case u't':
        value += u'\t';
        break;
      case u'n':
        value += u'\n';
        break;
      case u'f':
        value += u'\f';
        break;
      case u'r':
        value += u'\r';
        break;
      case u'x': {
        const long v = HexRun(source, i + 1, 2);
        if (v < 0) return std::nullopt;
        value += static_cast<char16_t>(v);
        i += 2;
        break;
      }
      case u'u': {
        const long v = HexRun(source, i + 1, 4);
        if (v < 0) return std::nullopt;
        value += static_cast<char16_t>(v);
        i += 4;
        break;
      }
      default:
        if (IsLineTerminator(e)) return std::nullopt;
        if (IsOctal(e)) {
          // Up to three digits from 0-3, up to two from 4-7.
          const std::size_t maxDigits = e <= u'3' ? 3 : 2;
          unsigned v = 0;
          std::size_t n = 0;
          while (n < maxDigits && i + n < source.size() && IsOctal(source[i + n])) {
            v = v * 8 + static_cast<unsigned>(source[i + n] - u'0');
            ++n;
          }
          value += static_cast<char16_t>(v);
          i += n - 1;
        } else {
          value += e;  // \' \" \\ \/ and every other character stand for themselves
        }
        break;
    }
  }
  return value;
}

std::u16string Unescape(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (s[k] == u'%') {
      if (k + 5 < s.size() && s[k + 1] == u'u') {
        const long v = HexRun(s, k + 2, 4);
        if (v >= 0) {
          out += static_cast<char16_t>(v);
          k += 5;
          continue;
        }
      }
      const long v = HexRun(s, k + 1, 2);
      if (v >= 0) {
        out += static_cast<char16_t>(v);
        k += 2;
        continue;
      }
    }
    out += s[k];
  }
  return out;
}

}  // namespace

std::optional<Text> EvaluateEscapedLiteral(std::string_view prepared) {
  const std::optional<std::u16string> literal = ReadLiteral(GbkToUtf16(prepared));
  if (!literal.has_value()) return std::nullopt;
  std::u16string value = Unescape(*literal);
  // A Text cannot hold NUL; dropping it keeps what follows.
  std::erase(value, u'\0');
  return Utf16ToGbk(value);
}

Text BuiltInUnescape(std::string_view prepared) {
  Text out;
  out.reserve(prepared.size());
  for (std::size_t i = 0; i < prepared.size(); ++i) {
    if (prepared[i] == '%') {
      if (i + 5 < prepared.size() && prepared[i + 1] == 'u') {
        const long v = HexRun(prepared, i + 2, 4);
        if (v > 0) {
          out += CodeUnitToGbk(static_cast<char16_t>(v));
          i += 5;
          continue;
        }
      }
      const long v = HexRun(prepared, i + 1, 2);
      if (v > 0) {
        out += CodeUnitToGbk(static_cast<char16_t>(v));
        i += 2;
        continue;
      }
    }
    out += prepared[i];
  }
  return out;
}

Text UnescapeText(const Text& text) {
  Text prepared = ReplaceText(text, "\r\n", kLineBreakPlaceholder);
  if (!prepared.empty() && prepared.front() == '\r') prepared.erase(0, 1);
  if (FindText(prepared, "\\u") != 0) prepared = ReplaceText(prepared, "\\u", "%u");
  prepared = ReplaceText(prepared, "'", kQuoteSubstitute);

  std::optional<Text> result = EvaluateEscapedLiteral(prepared);
  if (!result.has_value() || result->empty()) result = BuiltInUnescape(prepared);

  return ReplaceText(ReplaceText(*result, kQuoteSubstitute, "'"), kLineBreakPlaceholder, "\r\n");
}

}  // namespace tessaly
