#include "support/codepage.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace tessaly {

namespace {

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One iconv descriptor per thread and direction: opening one costs more than
// converting a short text.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; at every unit that does not convert, `skip` says how many
  // input bytes to pass over and `replacement` is appended instead.
  template <typename SkipFn>
  std::string Run(std::string_view in, std::string_view replacement, SkipFn skip) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0) {
      const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      if (r != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        const std::size_t used = out.size() - dstLeft;
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
        continue;
      }
      // EILSEQ or EINVAL (cut off at the end): replace and move on.
      const std::size_t used = out.size() - dstLeft;
      if (dstLeft < replacement.size() + 8) {
        out.resize(out.size() * 2 + replacement.size());
        dst = out.data() + used;
        dstLeft = out.size() - used;
      }
      std::memcpy(dst, replacement.data(), replacement.size());
      dst += replacement.size();
      dstLeft -= replacement.size();
      std::size_t n = skip(std::string_view(src, srcLeft));
      if (n == 0 || n > srcLeft) n = srcLeft < 1 ? srcLeft : 1;
      src += n;
      srcLeft -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - dstLeft);
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& GbkToUtf8Converter() {
  thread_local Converter c("UTF-8", "CP936");
  return c;
}
Converter& Utf8ToGbkConverter() {
  thread_local Converter c("CP936", "UTF-8");
  return c;
}
Converter& GbkToUtf16Converter() {
  thread_local Converter c(kUtf16, "CP936");
  return c;
}
Converter& Utf16ToGbkConverter() {
  thread_local Converter c("CP936", kUtf16);
  return c;
}

std::size_t Utf8SequenceLength(std::string_view s) {
  const auto c = static_cast<unsigned char>(s[0]);
  std::size_t n = 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  if (n > s.size()) return 1;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

std::size_t GbkCharLength(std::string_view s) {
  const auto c = static_cast<unsigned char>(s[0]);
  if (IsLeadByte(c) && s.size() >= 2) {
    const auto t = static_cast<unsigned char>(s[1]);
    // A trail byte outside the GBK range is a character of its own; keep it.
    if (t >= 0x40 && t != 0x7F && t != 0xFF) return 2;
  }
  return 1;
}

std::size_t Utf16UnitLength(std::string_view s) {
  if (s.size() >= 4) {
    char16_t a = 0;
    char16_t b = 0;
    std::memcpy(&a, s.data(), 2);
    std::memcpy(&b, s.data() + 2, 2);
    if (a >= 0xD800 && a <= 0xDBFF && b >= 0xDC00 && b <= 0xDFFF) return 4;
  }
  return s.size() >= 2 ? 2 : s.size();
}

std::u16string BytesToU16(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  return GbkToUtf8Converter().Run(gbk, "\xEF\xBF\xBD", GbkCharLength);
}

std::u16string GbkToUtf16(std::string_view gbk) {
  const char16_t fffd = 0xFFFD;
  const std::string_view replacement(reinterpret_cast<const char*>(&fffd), 2);
  return BytesToU16(GbkToUtf16Converter().Run(gbk, replacement, GbkCharLength));
}

Text Utf8ToGbk(std::string_view utf8) {
  return Utf8ToGbkConverter().Run(utf8, "?", Utf8SequenceLength);
}

Text Utf16ToGbk(std::u16string_view utf16) {
  const std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
  return Utf16ToGbkConverter().Run(bytes, "?", Utf16UnitLength);
}

Text CodeUnitToGbk(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return "?";
  return Utf16ToGbk(std::u16string_view(&unit, 1));
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = Utf8SequenceLength(text.substr(i));
    if (n == 1) return false;
    const std::string_view seq = text.substr(i, n);
    const auto c1 = static_cast<unsigned char>(seq[1]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F)) {
      return false;
    }
    i += n;
  }
  return true;
}

}  // namespace tessaly
