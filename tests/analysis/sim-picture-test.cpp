#include <gtest/gtest.h>

#include <string>

#include "doc-service.h"

namespace tessaly {
namespace {

std::uint32_t BigEndian(const std::string& data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(data[at + i]);
  return value;
}

// The size test of the picture list sits at 1000 bytes, so the simulator's
// pictures must have exactly the size asked for.
class SimPictureTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SimPictureTest, ExactSizeAndWellFormed) {
  const std::string png = sim::MakePng(GetParam(), 7);
  EXPECT_EQ(png.size(), GetParam());
  ASSERT_GE(png.size(), 33u + 12u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(BigEndian(png, 16), 32u);  // width
  // IEND with its fixed CRC closes the file.
  EXPECT_EQ(png.substr(png.size() - 12), std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimPictureTest,
                         ::testing::Values(113u, 999u, 1000u, 1001u, 4000u, 70000u));

TEST(SimPicture, SeedsDiffer) { EXPECT_NE(sim::MakePng(2000, 1), sim::MakePng(2000, 2)); }

}  // namespace
}  // namespace tessaly
