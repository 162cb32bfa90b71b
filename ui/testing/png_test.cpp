#include "ui/testing/png.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace lup::ui::testing {
namespace {

std::uint32_t Read32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

TEST(Png, ChecksumsMatchTheirStandardValues) {
  const std::string check = "123456789";
  auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
  EXPECT_EQ(Crc32(p, check.size()), 0xCBF43926u);
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const std::uint8_t*>(wiki.data()), wiki.size()), 0x11E60398u);
}

TEST(Png, ChunksAreWellFormedAndLargeImagesSpanSeveralBlocks) {
  const int w = 200, h = 150;  // 90,150 bytes of rows: two stored blocks
  std::vector<std::uint8_t> rgb(static_cast<size_t>(w * h * 3), 0x80);
  const std::string png = EncodePng(w, h, rgb);
  ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  std::size_t at = 8;
  std::vector<std::string> types;
  std::string idat;
  while (at < png.size()) {
    const std::uint32_t len = Read32(png, at);
    const std::string type = png.substr(at + 4, 4);
    const std::string body = png.substr(at + 4, 4 + len);
    EXPECT_EQ(Read32(png, at + 8 + len),
              Crc32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()))
        << type;
    if (type == "IDAT") idat = png.substr(at + 8, len);
    if (type == "IHDR") {
      EXPECT_EQ(Read32(png, at + 8), 200u);
      EXPECT_EQ(Read32(png, at + 12), 150u);
    }
    types.push_back(type);
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  // zlib header, a first block that is not the last, 65535 bytes long.
  ASSERT_GT(idat.size(), 7u);
  EXPECT_EQ(static_cast<std::uint8_t>(idat[0]), 0x78);
  EXPECT_EQ(idat[2], 0);
  EXPECT_EQ(static_cast<std::uint8_t>(idat[3]), 0xFF);
  EXPECT_EQ(static_cast<std::uint8_t>(idat[4]), 0xFF);
  EXPECT_EQ(idat.size(), 2 + 2 * 5 + static_cast<size_t>(h * (w * 3 + 1)) + 4);
}

TEST(Png, RejectsPixelsOfTheWrongSize) {
  EXPECT_THROW(EncodePng(2, 2, std::vector<std::uint8_t>(11)), std::invalid_argument);
  EXPECT_THROW(EncodePng(0, 2, {}), std::invalid_argument);
}

}  // namespace
}  // namespace lup::ui::testing
