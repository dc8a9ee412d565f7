#include "download/remote-file-name.h"

#include <gtest/gtest.h>

#include "support/codepage.h"

namespace tessaly {
namespace {

TEST(DecodeFileName, PercentBytesAndUtf8) {
  struct Case {
    const char* in;
    Text out;
  };
  const Case cases[] = {
      {"a%20b.txt", "a b.txt"},
      {"a+b.txt", "a+b.txt"},
      // 报告 in UTF-8, upper and lower case hex digits.
      {"%E6%8A%A5%E5%91%8A.txt", Utf8ToGbk("报告.txt")},
      {"%e6%8a%a5%e5%91%8a.txt", Utf8ToGbk("报告.txt")},
      {"a%00b", "ab"},
      {"100%", "100%"},
      {"100%2", "100%2"},
      {"%zz.txt", "%zz.txt"},
      {"%3F", "?"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeFileName(c.in), c.out) << c.in;
}

TEST(LastPathSegment, PiecesOfAnAddress) {
  struct Case {
    const char* address;
    const char* piece;
  };
  const Case cases[] = {
      {"http://h/files/x.txt", "x.txt"},  {"http://h/files/x.txt?a=1", "x.txt?a=1"},
      {"http://h/files/x.txt/", "x.txt"}, {"http://h.example/", "h.example"},
      {"http://h/get.php?id=1/2", ""},    {"http://h/get?path=a/b.txt", "b.txt"},
      {"http://h/download", ""},          {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LastPathSegment(c.address), c.piece) << c.address;
}

TEST(DispositionFileName, OnlyAQuotedLowerCaseName) {
  struct Case {
    const char* header;
    const char* name;
  };
  const Case cases[] = {
      {"attachment; filename=\"a%20b.txt\"", "a%20b.txt"},
      {"attachment; FILENAME=\"a.txt\"", ""},
      {"attachment; filename=a.txt", ""},
      {"attachment; filename=\"open", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DispositionFileName(c.header), c.name) << c.header;
}

TEST(CleanFileName, NamesNeverLeaveTheFolder) {
  struct Case {
    Text in;
    Text out;
  };
  const Case cases[] = {
      {"x.txt", "x.txt"},
      {"a/b.txt", "a-b.txt"},
      {"a\\b:c*d\"e<f>g|h.txt", "a-b-c-d-e-f-g-h.txt"},
      {"../../etc/passwd", "----etc-passwd"},
      {"..", "-"},
      {".", ""},
      {"a\tb\x7f.txt", "a-b-.txt"},
      // 淺 has 0x5C as its trail byte: it is a character, not a backslash.
      {Utf8ToGbk("淺.txt"), Utf8ToGbk("淺.txt")},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanFileName(c.in), c.out) << c.in;
}

TEST(AddressFileName, DecodedCutAndCleaned) {
  struct Case {
    const char* address;
    Text name;
  };
  const Case cases[] = {
      {"http://h/f/x.txt?token=abc", "x.txt"},
      {"http://h/f/a%3Fb.txt", "a"},
      {"http://h/f/a%2Fb.txt", "a-b.txt"},
      {"http://h/f/%E6%8A%A5%E5%91%8A.txt", Utf8ToGbk("报告.txt")},
      {"http://h/f/x.txt/", "x.txt"},
      {"http://h/f/download?id=3", ""},
      {"http://h/f/..", "-"},
      {"http://h/f/%2E%2E/", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(AddressFileName(c.address), c.name) << c.address;
}

}  // namespace
}  // namespace tessaly
