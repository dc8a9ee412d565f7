#include "download/range-plan.h"

#include <charconv>

namespace tessaly {

TextList BuildRangePlan(std::int64_t totalSize, std::int64_t blockSize) {
  TextList plan;
  if (blockSize <= 0 || totalSize <= blockSize) {
    plan.push_back("0-");
    return plan;
  }
  const std::int64_t count = totalSize / blockSize + (totalSize % blockSize != 0 ? 1 : 0);
  plan.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 1; i <= count; ++i) {
    const std::int64_t start = blockSize * (i - 1);
    if (i < count) {
      plan.push_back(std::to_string(start) + "-" + std::to_string(blockSize * i - 1));
    } else {
      plan.push_back(std::to_string(start) + "-");
    }
  }
  return plan;
}

namespace {

bool ParseOffset(std::string_view digits, std::int64_t& value) {
  if (digits.empty()) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return result.ec == std::errc() && result.ptr == digits.data() + digits.size();
}

}  // namespace

bool ParseRange(std::string_view range, ByteRange& out) {
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos) return false;
  ByteRange parsed;
  if (!ParseOffset(range.substr(0, dash), parsed.first)) return false;
  const std::string_view tail = range.substr(dash + 1);
  if (!tail.empty()) {
    if (!ParseOffset(tail, parsed.last) || parsed.last < parsed.first) return false;
  }
  out = parsed;
  return true;
}

std::int64_t RangeLength(const ByteRange& range, std::int64_t totalSize) {
  const std::int64_t end = range.IsOpen() ? totalSize - 1 : range.last;
  return end < range.first ? 0 : end - range.first + 1;
}

}  // namespace tessaly
