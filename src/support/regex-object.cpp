#define PCRE2_CODE_UNIT_WIDTH 8
#include "support/regex-object.h"

#include <pcre2.h>

#include <utility>
#include <vector>

namespace tessaly {

struct RegexObject::Expression {
  Text pattern;
  bool global = true;
  pcre2_code* code = nullptr;  // null when the pattern was rejected
  std::uint32_t captureCount = 0;

  Expression() = default;
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;
  ~Expression() {
    if (code != nullptr) pcre2_code_free(code);
  }
};

struct RegexObject::Match {
  std::size_t start = 0;
  std::size_t end = 0;
  // Byte ranges of the groups; start == kUnset for a group that took no part.
  std::vector<std::pair<std::size_t, std::size_t>> groups;
};

struct RegexObject::MatchList {
  std::vector<Match> items;
};

namespace {

constexpr std::size_t kUnset = PCRE2_UNSET;

// The script flavour on PCRE2: unknown escapes are the letter itself, \u and \x
// read as in the script language, an empty class is allowed, a reference to an
// unset group matches nothing, and "$" without multiline is the very end.
constexpr std::uint32_t kBaseOptions =
    PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY;

struct MatchData {
  pcre2_match_data* data;
  explicit MatchData(const pcre2_code* code)
      : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
  ~MatchData() {
    if (data != nullptr) pcre2_match_data_free(data);
  }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
};

// The interpreter's backtracking lives on the heap, so a long subject cannot
// overflow the machine stack; the limit keeps a pathological pattern from
// taking all memory (it then ends the run like a failed match).
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;

class ThreadMatchContext {
 public:
  ThreadMatchContext() : context_(pcre2_match_context_create(nullptr)) {
    if (context_ != nullptr) pcre2_set_heap_limit(context_, kHeapLimitKiB);
  }
  ~ThreadMatchContext() {
    if (context_ != nullptr) pcre2_match_context_free(context_);
  }
  ThreadMatchContext(const ThreadMatchContext&) = delete;
  ThreadMatchContext& operator=(const ThreadMatchContext&) = delete;
  pcre2_match_context* get() const { return context_; }

 private:
  pcre2_match_context* context_;
};

// One run from `offset`: the JIT on its small default stack first; where that
// is too deep, the interpreter.
int RunOnce(const pcre2_code* code, const Text& subject, std::size_t offset, MatchData& md) {
  thread_local ThreadMatchContext context;
  const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
  int rc = pcre2_match(code, bytes, subject.size(), offset, 0, md.data, context.get());
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
    rc = pcre2_match(code, bytes, subject.size(), offset, PCRE2_NO_JIT, md.data, context.get());
  }
  return rc;
}

std::vector<RegexObject::Match> Execute(const RegexObject::Expression& expression,
                                        const Text& subject) {
  std::vector<RegexObject::Match> found;
  MatchData md(expression.code);
  if (md.data == nullptr) return found;
  std::size_t offset = 0;
  std::size_t charStart = 0;  // walks the character starts, never backwards
  while (offset <= subject.size()) {
    const int rc = RunOnce(expression.code, subject, offset, md);
    // No match, or a match or heap limit: the matches so far are the result.
    if (rc < 0) break;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
    const std::size_t start = ov[0];
    const std::size_t end = ov[1];
    while (charStart < start) charStart += CharWidthAt(subject, charStart);
    if (charStart != start) {
      offset = start + 1;  // began on a trailing byte: look further on
      continue;
    }
    RegexObject::Match match;
    match.start = start;
    match.end = end < start ? start : end;  // \K may set the end before the start
    const std::uint32_t pairs = pcre2_get_ovector_count(md.data);
    for (std::uint32_t g = 1; g <= expression.captureCount; ++g) {
      if (g < pairs && ov[2 * g] != kUnset) {
        match.groups.emplace_back(ov[2 * g], ov[2 * g + 1]);
      } else {
        match.groups.emplace_back(kUnset, kUnset);
      }
    }
    found.push_back(std::move(match));
    if (!expression.global) break;
    if (end > start) {
      offset = end;
    } else if (start < subject.size()) {
      offset = start + CharWidthAt(subject, start);  // after an empty match, one character on
    } else {
      break;
    }
  }
  return found;
}

void AppendReplacement(Text& out, std::string_view replacement, const Text& subject,
                       const RegexObject::Match& match) {
  const std::size_t groupCount = match.groups.size();
  auto appendGroup = [&](std::size_t g) {
    const auto& [s, e] = match.groups[g - 1];
    if (s != kUnset) out.append(subject, s, e - s);
  };
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c != '$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    const char next = replacement[i + 1];
    if (next == '$') {
      out += '$';
      ++i;
    } else if (next == '&') {
      out.append(subject, match.start, match.end - match.start);
      ++i;
    } else if (next == '`') {
      out.append(subject, 0, match.start);
      ++i;
    } else if (next == '\'') {
      out.append(subject, match.end, std::string::npos);
      ++i;
    } else if (next >= '0' && next <= '9') {
      const std::size_t one = static_cast<std::size_t>(next - '0');
      const bool hasSecond =
          i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9';
      const std::size_t two =
          hasSecond ? one * 10 + static_cast<std::size_t>(replacement[i + 2] - '0') : 0;
      if (hasSecond && two >= 1 && two <= groupCount) {
        appendGroup(two);
        i += 2;
      } else if (one >= 1 && one <= groupCount) {
        appendGroup(one);
        ++i;
      } else {
        out += c;
      }
    } else {
      out += c;
    }
  }
}

}  // namespace

void RegexObject::Destroy() {
  expression_.reset();
  matches_.reset();
  subject_.clear();
}

RegexObject RegexObject::Copy() const { return *this; }

bool RegexObject::Create(const Text& pattern, const Text& subject, bool caseSensitive,
                         bool multiline, bool global, bool quotePlaceholder) {
  expression_.reset();
  matches_.reset();
  auto expression = std::make_shared<Expression>();
  expression->pattern = quotePlaceholder ? ReplaceText(pattern, kQuotePlaceholder, "\"") : pattern;
  expression->global = global;

  std::uint32_t options = kBaseOptions;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (context != nullptr) {
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_compile_extra_options(context, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
  }
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  expression->code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression->pattern.data()),
                    expression->pattern.size(), options, &error, &errorOffset, context);
  if (context != nullptr) pcre2_compile_context_free(context);
  subject_ = subject;
  if (expression->code == nullptr) {
    expression_ = std::move(expression);
    return false;
  }
  pcre2_jit_compile(expression->code, PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs
  pcre2_pattern_info(expression->code, PCRE2_INFO_CAPTURECOUNT, &expression->captureCount);

  auto matches = std::make_shared<MatchList>();
  matches->items = Execute(*expression, subject_);
  expression_ = std::move(expression);
  matches_ = std::move(matches);
  return true;
}

void RegexObject::Noop() const {}

Text RegexObject::GetPattern() const { return expression_ ? expression_->pattern : Text(); }

Text RegexObject::Replace(const Text& replacement) const {
  if (!expression_ || expression_->code == nullptr || !matches_) return {};
  // The matches of Create were found on this very subject with this expression.
  Text out;
  out.reserve(subject_.size());
  std::size_t copied = 0;
  for (const Match& match : matches_->items) {
    out.append(subject_, copied, match.start - copied);
    AppendReplacement(out, replacement, subject_, match);
    copied = match.end;
  }
  out.append(subject_, copied, std::string::npos);
  return out;
}

int RegexObject::MatchCount() const {
  return matches_ ? static_cast<int>(matches_->items.size()) : 0;
}

Text RegexObject::MatchText(int number, int* position) const {
  if (position != nullptr) *position = -1;
  if (!matches_ || number < 1 || static_cast<std::size_t>(number) > matches_->items.size()) {
    return {};
  }
  const Match& match = matches_->items[static_cast<std::size_t>(number) - 1];
  if (position != nullptr) *position = static_cast<int>(match.start);
  return subject_.substr(match.start, match.end - match.start);
}

Text RegexObject::SubMatchText(int number, int subNumber, int* position) const {
  if (position != nullptr) *position = -1;
  if (!matches_ || number < 1 || static_cast<std::size_t>(number) > matches_->items.size()) {
    return {};
  }
  const Match& match = matches_->items[static_cast<std::size_t>(number) - 1];
  if (subNumber < 1 || static_cast<std::size_t>(subNumber) > match.groups.size()) return {};
  const auto& [start, end] = match.groups[static_cast<std::size_t>(subNumber) - 1];
  if (start == kUnset) return {};
  if (position != nullptr) *position = static_cast<int>(start);
  return subject_.substr(start, end - start);
}

int RegexObject::SubMatchCount() const {
  if (!matches_ || matches_->items.empty()) return 0;
  return static_cast<int>(matches_->items.front().groups.size());
}

}  // namespace tessaly
