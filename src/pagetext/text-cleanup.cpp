#include "pagetext/text-cleanup.h"

#include "support/regex-object.h"

namespace tessaly {

namespace {

// The \s of the expression: space, tab, LF, VT, FF, CR. No GBK byte of a
// double-byte character is one of them.
bool IsWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

Text WithoutOuterLineBreaks(const Text& text) {
  std::string_view view(text);
  if (StartsWith(view, "\r\n")) view.remove_prefix(2);
  if (EndsWith(view, "\r\n")) view.remove_suffix(2);
  return Text(view);
}

}  // namespace

// Removes what "\n\s*\r" matches, left to right: from a LF over its run of white
// space to the last CR of that run (greedy, then backing off to a CR).
Text DeleteBlankLines(const Text& text) {
  const Text subject = WithoutOuterLineBreaks(text);
  Text out;
  out.reserve(subject.size());
  const std::size_t n = subject.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t lf = subject.find('\n', i);
    if (lf == std::string::npos) {
      out.append(subject, i, std::string::npos);
      break;
    }
    std::size_t j = lf + 1;
    std::size_t lastCr = std::string::npos;
    while (j < n && IsWhite(subject[j])) {
      if (subject[j] == '\r') lastCr = j;
      ++j;
    }
    if (lastCr == std::string::npos) {
      // No CR in the run: no LF inside it can start a match either.
      out.append(subject, i, j - i);
      i = j;
    } else {
      out.append(subject, i, lf - i);
      i = lastCr + 1;
    }
  }
  return out;
}

Text DeleteBlankLinesByRegex(const Text& text) {
  RegexObject regex;
  regex.Create("\\n\\s*\\r", WithoutOuterLineBreaks(text));
  Text result = regex.Replace("");
  regex.Destroy();
  return result;
}

Text TrimLine(std::string_view line) {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  return Text(line);
}

}  // namespace tessaly
