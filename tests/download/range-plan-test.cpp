#include "download/range-plan.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

struct PlanCase {
  std::int64_t size;
  TextList ranges;
};

TEST(RangePlan, SmallSizesFromTheTable) {
  const PlanCase cases[] = {
      {0, {"0-"}},
      {1, {"0-"}},
      {10240, {"0-"}},
      {10241, {"0-10239", "10240-"}},
      {20480, {"0-10239", "10240-"}},
      {25000, {"0-10239", "10240-20479", "20480-"}},
  };
  for (const PlanCase& c : cases) {
    EXPECT_EQ(BuildRangePlan(c.size, kDefaultBlockSize), c.ranges) << "size " << c.size;
  }
}

TEST(RangePlan, SizesBeyondTwoGibibytesStayExact) {
  struct Big {
    std::int64_t size;
    std::size_t count;
    const char* secondLast;
    const char* last;
  };
  const std::int64_t gib = std::int64_t{1} << 30;
  const Big cases[] = {
      // 3 GiB leaves a remainder; 5 GiB is a whole number of blocks.
      {3 * gib, 314573, "3221207040-3221217279", "3221217280-"},
      {5 * gib, 524288, "5368688640-5368698879", "5368698880-"},
  };
  for (const Big& c : cases) {
    const TextList plan = BuildRangePlan(c.size, kDefaultBlockSize);
    ASSERT_EQ(plan.size(), c.count) << c.size;
    EXPECT_EQ(plan.front(), "0-10239");
    EXPECT_EQ(plan[plan.size() - 2], c.secondLast);
    EXPECT_EQ(plan.back(), c.last);
    std::int64_t covered = 0;
    for (const Text& text : plan) {
      ByteRange range;
      ASSERT_TRUE(ParseRange(text, range)) << text;
      ASSERT_EQ(range.first, covered) << text;
      covered += RangeLength(range, c.size);
    }
    EXPECT_EQ(covered, c.size);
  }
}

TEST(RangePlan, ParsesOnlyWellFormedRanges) {
  struct Case {
    const char* text;
    bool ok;
    std::int64_t first;
    std::int64_t last;
  };
  const Case cases[] = {
      {"0-", true, 0, -1},
      {"10240-20479", true, 10240, 20479},
      {"5368698880-", true, 5368698880, -1},
      {"-5", false, 0, 0},
      {"5-4", false, 0, 0},
      {"12", false, 0, 0},
      {"1-2-3", false, 0, 0},
      {"+1-2", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    ByteRange range;
    ASSERT_EQ(ParseRange(c.text, range), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(range.first, c.first) << c.text;
    EXPECT_EQ(range.last, c.last) << c.text;
  }
}

TEST(RangePlan, LengthOfTheOpenRangeIsTheRestOfTheFile) {
  EXPECT_EQ(RangeLength({20480, -1}, 25000), 4520);
  EXPECT_EQ(RangeLength({0, 10239}, 25000), 10240);
  EXPECT_EQ(RangeLength({0, -1}, 0), 0);
}

}  // namespace
}  // namespace tessaly
