#include "analysis/page-list.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

// The script string as a view page carries it, in its own escaped form.
const std::string kPage =
    "<script>\r\nWkInfo.htmlUrls = '{\\x22ttf\\x22:[],"
    "\\x22json\\x22:[{\\x22pageIndex\\x22:1,\\x22pageLoadUrl\\x22:"
    "\\x22https:\\\\\\/\\\\\\/wenku.baidu.com\\\\\\/c\\\\\\/1.json?a=1\\x22},"
    "{\\x22pageIndex\\x22:2,\\x22pageLoadUrl\\x22:\\x22 https:\\\\\\/\\\\\\/h\\\\\\/2.json \\x22}],"
    "\\x22png\\x22:[{\\x22pageIndex\\x22:1,\\x22pageLoadUrl\\x22:\\x22http:\\\\\\/\\\\\\/h\\\\\\/"
    "1.png\\x22}]}',\r\n"
    "WkInfo.other = 1;\r\n</script>";

TEST(PageList, ContentAddressesUnescapedAndTrimmed) {
  EXPECT_EQ(ReadContentList(kPage),
            (TextList{"https://wenku.baidu.com/c/1.json?a=1", "https://h/2.json"}));
}

TEST(PageList, PictureAddresses) {
  EXPECT_EQ(ReadPictureList(kPage), (TextList{"http://h/1.png"}));
}

struct ListCase {
  const char* name;
  std::string page;
  TextList content;
};

class PageListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(PageListTest, ContentList) {
  EXPECT_EQ(ReadContentList(GetParam().page), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageListTest,
    ::testing::Values(
        ListCase{"NoJsonMarker", "\\x22png\\x22:[{pageLoadUrl:x}]',\r\n", {}},
        ListCase{"NoPngMarkerAfterJson", "\\x22json\\x22:[{pageLoadUrl:x}]", {}},
        ListCase{"ListWithoutEntries", "\\x22json\\x22:[],\\x22png\\x22:[]',\r\n", {}},
        ListCase{"EntryEmptyAfterTrim",
                 "\\x22json\\x22:[{pageLoadUrl: },{pageLoadUrl:b}],\\x22png\\x22:",
                 {"b"}},
        ListCase{"RepeatedEntriesKept",
                 "\\x22json\\x22:[{pageLoadUrl:a},{pageLoadUrl:a}],\\x22png\\x22:",
                 {"a", "a"}},
        // Four backslashes: the first three go as one group, the fourth stays.
        ListCase{"BackslashGroupsOfThree",
                 "\\x22json\\x22:[{pageLoadUrl:a\\\\\\\\b}],\\x22png\\x22:",
                 {"a\\b"}},
        ListCase{"MarkersIgnoreCase", "\\X22JSON\\X22:[{PAGELOADURL:a}],\\X22PNG\\X22:", {"a"}},
        // The quote escape is deleted case-sensitively only.
        ListCase{"UpperCaseEscapeKept",
                 "\\x22json\\x22:[{pageLoadUrl:\\X22a}],\\x22png\\x22:",
                 {"\\X22a"}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly
