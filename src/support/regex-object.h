// One compiled regular expression, the subject it ran on and its matches.
//
// The syntax is the script-language flavour: \s is space, tab, LF, CR, VT and
// FF; ignoring case folds only ASCII letters; "^" and "$" with multiline see CR,
// LF and CR LF as line ends. The subject is GBK bytes: a match never starts on
// the trailing byte of a double-byte character, and "." or a negated class
// stands for one byte.
#pragma once

#include <memory>

#include "support/text.h"

namespace tessaly {

class RegexObject {
 public:
  RegexObject() = default;
  ~RegexObject() = default;
  RegexObject(const RegexObject&) = default;
  RegexObject& operator=(const RegexObject&) = default;
  RegexObject(RegexObject&&) noexcept = default;
  RegexObject& operator=(RegexObject&&) noexcept = default;

  // Releases the expression and the matches and clears the subject.
  void Destroy();
  // A new object sharing the compiled expression and the matches.
  RegexObject Copy() const;
  // Compiles the pattern and runs it over the subject. True when the run gave
  // a match collection, also an empty one; false for a rejected pattern.
  bool Create(const Text& pattern, const Text& subject, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool quotePlaceholder = false);
  void Noop() const;
  // The pattern as compiled (placeholder replaced); "" before Create.
  Text GetPattern() const;
  // The subject with the matches replaced ($1-$99, $&, $`, $' and $$ work as
  // in the script language); "" without a valid expression.
  Text Replace(const Text& replacement) const;
  int MatchCount() const;
  // Match `number` (1-based); `position`, when given, receives its 0-based byte
  // offset in the subject, -1 when there is no such match.
  Text MatchText(int number, int* position = nullptr) const;
  // Sub-match `subNumber` (1-based) of match `number`; an unset group gives ""
  // and position -1.
  Text SubMatchText(int number, int subNumber, int* position = nullptr) const;
  // Sub-matches of the first match; 0 without matches.
  int SubMatchCount() const;

  struct Expression;
  struct Match;
  struct MatchList;

 private:
  std::shared_ptr<const Expression> expression_;
  std::shared_ptr<const MatchList> matches_;
  Text subject_;
};

}  // namespace tessaly
