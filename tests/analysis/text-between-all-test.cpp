#include "analysis/text-between-all.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

struct BetweenAllCase {
  const char* name;
  std::string source;
  std::string left;
  std::string right;
  TextList items;
};

class TextBetweenAllTest : public ::testing::TestWithParam<BetweenAllCase> {};

TEST_P(TextBetweenAllTest, Items) {
  const BetweenAllCase& c = GetParam();
  EXPECT_EQ(TextBetweenAll(c.source, c.left, c.right), c.items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetweenAllTest,
    ::testing::Values(BetweenAllCase{"InOrder", "<a>1</a><a>2</a>", "<a>", "</a>", {"1", "2"}},
                      BetweenAllCase{"CaseIgnored", "[U:x}[u:y}", "[u:", "}", {"x", "y"}},
                      BetweenAllCase{"Trimmed", "(  a \xA1\xA1)(\tb\n)", "(", ")", {"a", "\tb\n"}},
                      // After an empty item the search resumes right after its left marker.
                      BetweenAllCase{"EmptySkipped", "u:}u: }u:z}", "u:", "}", {"z"}},
                      BetweenAllCase{"EmptyThenNested", "u:u:v}", "u:", "}", {"u:v"}},
                      BetweenAllCase{"Duplicates", "u:a}u:a}", "u:", "}", {"a", "a"}},
                      BetweenAllCase{"MissingRight", "u:a}u:b", "u:", "}", {"a"}},
                      BetweenAllCase{"NoLeft", "abc", "u:", "}", {}},
                      BetweenAllCase{"EmptySource", "", "u:", "}", {}},
                      // The right marker starts the next search: it can also be the next left.
                      BetweenAllCase{"SharedMarker", "|a|b|c|", "|", "|", {"a", "b", "c"}},
                      // 0xD5 0x7C is one GBK character whose trailing byte is "|".
                      BetweenAllCase{"NoMatchOnTrailingByte", "|\xD5|x|", "|", "|", {"\xD5|x"}},
                      BetweenAllCase{"EmptyMarkers", "abc", "", "}", {}}),
    [](const ::testing::TestParamInfo<BetweenAllCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace tessaly
