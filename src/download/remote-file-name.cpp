#include "download/remote-file-name.h"

#include "support/codepage.h"

namespace tessaly {

namespace {

int HexDigit(char c) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  const std::size_t at = kDigits.find(static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c));
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

Text DecodeFileName(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        const char decoded = static_cast<char>(high * 16 + low);
        if (decoded != '\0') bytes.push_back(decoded);
        i += 2;
        continue;
      }
    }
    bytes.push_back(text[i]);
  }
  return Utf8ToGbk(bytes);
}

Text LastPathSegment(std::string_view address) {
  TextList pieces = SplitText(address, "/");
  if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  if (pieces.empty() || pieces.back().find('.') == Text::npos) return "";
  return pieces.back();
}

Text DispositionFileName(std::string_view header) {
  static constexpr std::string_view kMarker = "filename=\"";
  const std::size_t at = FindText(header, kMarker, 1, false);
  if (at == 0) return "";
  const std::size_t from = at - 1 + kMarker.size();
  const std::size_t close = FindText(header, "\"", from + 1, false);
  if (close == 0) return "";
  return Text(header.substr(from, close - 1 - from));
}

Text CleanFileName(std::string_view name) {
  Text cleaned(name);
  for (std::string_view refused : {"/", "\\", ":", "*", "\"", "<", ">", "|"}) {
    cleaned = ReplaceText(cleaned, refused, "-");
  }
  Text out;
  out.reserve(cleaned.size());
  for (std::size_t i = 0; i < cleaned.size();) {
    const std::size_t width = CharWidthAt(cleaned, i);
    const unsigned char c = static_cast<unsigned char>(cleaned[i]);
    if (width == 1 && (c < 0x20 || c == 0x7F)) {
      out.push_back('-');
    } else {
      out.append(cleaned, i, width);
    }
    i += width;
  }
  // "a..b" is harmless once separators are gone, but "." and ".." are not
  // names; replacing every ".." keeps the rule simple and total.
  while (out.find("..") != Text::npos) out = ReplaceText(out, "..", "-");
  if (out == ".") return "";
  return out;
}

Text AddressFileName(std::string_view address) {
  Text name = DecodeFileName(LastPathSegment(address));
  const std::size_t query = FindText(name, "?", 1, false);
  if (query != 0) name.resize(query - 1);
  return CleanFileName(name);
}

}  // namespace tessaly
