#include "pagetext/unescape-text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
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
      std::size_t end = i + 1;
      while (end < source.size() && source[end] != u'\\' && !IsLineTerminator(source[end])) ++end;
      value.append(source, i, end - i);
      i = end - 1;
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
    if (s[k] != u'%') {
      const std::size_t end = std::min(s.find(u'%', k), s.size());
      out.append(s, k, end - k);
      k = end - 1;
      continue;
    }
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
    out += s[k];
  }
  return out;
}

// GBK bytes of one UTF-16 unit, filled on first use: one iconv call per item
// costs more than decoding the item. Packed as length << 24 | bytes; 0 means
// not known yet. Races only compute the same value twice.
std::array<std::atomic<std::uint32_t>, 0x10000>& UnitTable() {
  static std::array<std::atomic<std::uint32_t>, 0x10000> table{};
  return table;
}

// Appends the GBK form of `value`, as Utf16ToGbk would give it. Surrogates
// and U+FEFF depend on their neighbours or position, so such a value goes to
// iconv whole.
void AppendGbk(const std::u16string& value, Text& out) {
  const std::size_t start = out.size();
  auto whole = [&] {
    out.resize(start);
    out += Utf16ToGbk(value);
  };
  out.resize(start + value.size() * 3);  // a unit is at most three bytes here
  char* w = out.data() + start;
  for (const char16_t u : value) {
    if (u < 0x80) {
      *w++ = static_cast<char>(u);
      continue;
    }
    if ((u >= 0xD800 && u <= 0xDFFF) || u == 0xFEFF) return whole();
    std::atomic<std::uint32_t>& slot = UnitTable()[u];
    std::uint32_t packed = slot.load(std::memory_order_relaxed);
    if (packed == 0) {
      const Text gbk = Utf16ToGbk(std::u16string_view(&u, 1));
      if (gbk.empty() || gbk.size() > 3) return whole();
      packed = static_cast<std::uint32_t>(gbk.size()) << 24;
      for (std::size_t k = 0; k < gbk.size(); ++k) {
        packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(gbk[k])) << (16 - 8 * k);
      }
      slot.store(packed, std::memory_order_relaxed);
    }
    const std::uint32_t length = packed >> 24;
    for (std::uint32_t k = 0; k < length; ++k) {
      *w++ = static_cast<char>((packed >> (16 - 8 * k)) & 0xFF);
    }
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
}

// The unit the quote substitute decodes to, or 0 when it is not one unit.
char16_t QuoteUnit() {
  static const char16_t unit = [] {
    const std::u16string u = GbkToUtf16(kQuoteSubstitute);
    return u.size() == 1 ? u[0] : char16_t{0};
  }();
  return unit;
}

// UnescapeText for the usual item: ASCII without NUL, CR or LF, read by the
// script. With only ASCII bytes every byte is a character, so the text
// rewrites and the GBK to UTF-16 step become one widening pass. Nothing when
// the item needs the general path.
std::optional<Text> UnescapeAsciiText(const Text& text) {
  const char16_t quote = QuoteUnit();
  if (quote == 0) return std::nullopt;
  // The rewrites never lengthen the text.
  std::u16string source(text.size(), u'\0');
  char16_t* w = source.data();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c >= 0x80 || c == '\r' || c == '\n') return std::nullopt;
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == 'u') {
      *w++ = u'%';
      *w++ = u'u';
      ++i;
    } else if (c == '\'') {
      *w++ = quote;
    } else {
      *w++ = static_cast<char16_t>(c);
    }
  }
  source.resize(static_cast<std::size_t>(w - source.data()));
  const std::optional<std::u16string> literal = ReadLiteral(source);
  if (!literal.has_value()) return std::nullopt;
  std::u16string value = Unescape(*literal);
  std::erase(value, u'\0');
  Text result;
  AppendGbk(value, result);
  if (result.empty()) return std::nullopt;
  if (result.find(kQuoteSubstitute) != Text::npos)
    result = ReplaceText(result, kQuoteSubstitute, "'");
  if (result.find(kLineBreakPlaceholder) != Text::npos) {
    result = ReplaceText(result, kLineBreakPlaceholder, "\r\n");
  }
  return result;
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
  if (std::optional<Text> fast = UnescapeAsciiText(text)) return *std::move(fast);
  Text prepared = ReplaceText(text, "\r\n", kLineBreakPlaceholder);
  if (!prepared.empty() && prepared.front() == '\r') prepared.erase(0, 1);
  if (FindText(prepared, "\\u") != 0) prepared = ReplaceText(prepared, "\\u", "%u");
  prepared = ReplaceText(prepared, "'", kQuoteSubstitute);

  std::optional<Text> result = EvaluateEscapedLiteral(prepared);
  if (!result.has_value() || result->empty()) result = BuiltInUnescape(prepared);

  return ReplaceText(ReplaceText(*result, kQuoteSubstitute, "'"), kLineBreakPlaceholder, "\r\n");
}

}  // namespace tessaly
