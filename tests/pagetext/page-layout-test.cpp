#include "pagetext/page-layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/codepage.h"

namespace tessaly {
namespace {

// One body item as the service writes it; `ps` is the raw JSON value.
std::string Item(const std::string& c, const std::string& y, const std::string& h,
                 const std::string& ps = "{}") {
  return "{\"c\":\"" + c + "\",\"p\":{\"h\":" + h + ",\"w\":40,\"x\":10,\"y\":" + y +
         ",\"z\":1},\"ps\":" + ps + ",\"t\":\"word\",\"r\":[0]}";
}

std::string Content(const std::vector<std::string>& items) {
  std::string body;
  for (const std::string& item : items) body += (body.empty() ? "" : ",") + item;
  return "{\"version\":2,\"body\":[" + body + "],\"page\":{\"ph\":1262,\"pw\":892}}";
}

const std::string kEnter = "{\"_enter\":1}";

struct LayoutCase {
  const char* name;
  std::string content;
  std::string pageText;
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, PageText) {
  EXPECT_EQ(LayoutPageItems(GetParam().content), GetParam().pageText);
}

INSTANTIATE_TEST_SUITE_P(
    Items, LayoutTest,
    ::testing::Values(
        // B starts 10 below A's bottom after A's trailing space: new line.
        LayoutCase{"GapAfterSpace",
                   Content({Item("A ", "100", "20"), Item("B", "130", "20"),
                            Item("C", "130", "20", kEnter)}),
                   "A \r\nBC\r\n"},
        LayoutCase{"GapWithoutSpace",
                   Content({Item("A", "100", "20"), Item("B", "130", "20"),
                            Item("C", "130", "20", kEnter)}),
                   "ABC\r\n"},
        LayoutCase{"GapOfExactlyZero", Content({Item("A ", "100", "20"), Item("B", "120", "20")}),
                   "A B"},
        LayoutCase{"GapJustOverEpsilon",
                   Content({Item("A ", "100", "20"), Item("B", "120.000001", "20")}), "A \r\nB"},
        // The dropped item lies far below; the gap is measured from A.
        LayoutCase{"EmptyTextDropped",
                   Content({Item("A ", "100", "20"), Item("", "500", "5"), Item("B", "130", "20")}),
                   "A \r\nB"},
        LayoutCase{"EmptyTextDroppedEvenWithEnter",
                   Content({Item("A", "100", "20"), Item("", "100", "20", kEnter),
                            Item("B", "100", "20")}),
                   "AB"},
        LayoutCase{"StyleWithFurtherKeys",
                   Content({Item("A", "100", "20", "{\"_enter\":1,\"_style\":3}"),
                            Item("B", "100", "20")}),
                   "AB"},
        LayoutCase{"StyleEnterZero",
                   Content({Item("A", "100", "20", "{\"_enter\":0}"), Item("B", "100", "20")}),
                   "AB"},
        LayoutCase{"FirstItemNeverBreaks", Content({Item("A", "999", "20")}), "A"},
        LayoutCase{"EnterItemIgnoresGap",
                   Content({Item("A ", "100", "20"), Item("B", "300", "20", kEnter)}), "A B\r\n"},
        LayoutCase{"NumbersAsAtofReadsThem",
                   Content({Item("A ", " 1e2", "2e1px"), Item("B", "+120.5", "x")}), "A \r\nB"},
        LayoutCase{"NonNumbersReadAsZero",
                   Content({Item("A ", "abc", "20"), Item("B", "10", "def")}), "A B"},
        LayoutCase{
            "EscapesDecoded",
            Content({Item(R"(\u6587\u5e93 )", "0", "10"), Item(R"(a\"b\\c)", "20", "10", kEnter)}),
            Utf8ToGbk("文库 ") + "a\"b\\c\r\n"},
        LayoutCase{"NoItemListMarker", "{\"content\":[" + Item("A", "0", "1") + "]}", ""},
        LayoutCase{"CutOffContent",
                   Content({Item("A", "0", "1"), Item("B", "0", "1")}).substr(0, 90), ""},
        LayoutCase{"EmptyBody", Content({}), ""}, LayoutCase{"EmptyResponse", "", ""},
        LayoutCase{"ZeroByteEndsResponse",
                   std::string("{\"body\":[") + Item("A", "0", "1") + std::string(1, '\0') +
                       "],\"page\":{}}",
                   ""}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(PageLayout, ItemsKeepTheirRawPositionTexts) {
  const auto items = CutPageItems(Content({Item("A", "100.5", "20", kEnter), Item("", "1", "1")}));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, "A");
  EXPECT_EQ(items[0].y, "100.5");
  EXPECT_EQ(items[0].h, "20");
  EXPECT_EQ(items[0].ps, kEnter);
}

// 0x81 0x7D is one GBK character whose trailing byte is "}": no item ends there.
TEST(PageLayout, MarkersNeverMatchOnATrailingByte) {
  const std::string c = "a\x81},{\"c\":\"b";
  const auto items = CutPageItems(Content({Item(c, "0", "1"), Item("z", "0", "1")}));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].text.substr(0, 4), "a\x81},");
  EXPECT_EQ(items[1].text, "z");
}

TEST(PageLayout, RawGbkTextKeptWhenNotEscaped) {
  EXPECT_EQ(LayoutPageItems(Content({Item("\xCE\xC4\xBF\xE2 ", "0", "10"), Item("x", "20", "10")})),
            "\xCE\xC4\xBF\xE2 \r\nx");  // 文库
}

struct FileCase {
  const char* name;
  std::string pageText;
  bool deleteBlankLines;
  bool trimLines;
  std::string file;
};

class PageFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(PageFileTest, Bytes) {
  const FileCase& c = GetParam();
  EXPECT_EQ(PageFileText(c.pageText, {c.deleteBlankLines, c.trimLines}), c.file);
}

const std::string kMixed = "L1\r\n\r\n  L2  \r\n   \r\nL3";

INSTANTIATE_TEST_SUITE_P(
    Options, PageFileTest,
    ::testing::Values(
        FileCase{"AbcKeepsTrailingSpace", "A \r\nBC\r\n", false, false, "A \r\nBC\r\n"},
        FileCase{"AbcTrimmed", "A \r\nBC\r\n", false, true, "A\r\nBC\r\n"},
        FileCase{"TwoBreaksMakeAnEmptyLine", "L1\r\n\r\nL2", false, false, "L1\r\n\r\nL2\r\n"},
        FileCase{"NoOptions", kMixed, false, false, "L1\r\n\r\n  L2  \r\n   \r\nL3\r\n"},
        FileCase{"DeleteBlankOnly", kMixed, true, false, "L1\r\n  L2  \r\nL3\r\n"},
        FileCase{"TrimOnlyKeepsLineOfSpacesAsEmpty", kMixed, false, true,
                 "L1\r\n\r\nL2\r\n\r\nL3\r\n"},
        FileCase{"BothOptions", kMixed, true, true, "L1\r\nL2\r\nL3\r\n"},
        FileCase{"EmptyPage", "", true, true, ""},
        FileCase{"EmptyPageNoOptions", "", false, false, ""},
        FileCase{"OnlyABreak", "\r\n", false, false, "\r\n"},
        FileCase{"OnlyABreakDeleted", "\r\n", true, false, ""},
        FileCase{"TrimKeepsTabsAndFullWidth", "\t x \xA1\xA1 ", false, true, "\t x \xA1\xA1\r\n"},
        FileCase{"LoneLineFeedStaysInLine", "a\nb\r\nc", false, false, "a\nb\r\nc\r\n"}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly
