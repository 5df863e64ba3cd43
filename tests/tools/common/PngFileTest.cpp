#include "tools/common/PngFile.h"

#include <gtest/gtest.h>
#include <png.h>

#include "support/TempDir.h"

using vltools::PngKind;
using vltools::PngPicture;

namespace {

// Writes a file in one of libpng's own formats, so reading is checked against files the
// tools did not write themselves.
void writeWithLibpng(const std::string& path, png_uint_32 format, const void* pixels, int32_t width, int32_t height,
                     const void* colormap = nullptr, int colormapEntries = 0) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = format;
  image.colormap_entries = colormapEntries;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels, 0, colormap)) << image.message;
}

uint32_t pixelAt(const PngPicture& p, int32_t x, int32_t y) {
  const uint8_t* b = &p.bgrx[size_t(y * p.stride() + 4 * x)];
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

TEST(PngFile, WrittenPicturesReadBackAsBgrx) {
  vltest::TempDir dir;
  std::string error;
  const uint8_t gray[2 * 3] = {0, 10, 127, 128, 200, 255};

  ASSERT_TRUE(writePng(dir.file("g.png"), PngKind::gray8, 3, 2, gray, 3, error)) << error;
  PngPicture p;
  ASSERT_TRUE(readPng(dir.file("g.png"), p, error)) << error;
  ASSERT_EQ(p.width, 3);
  ASSERT_EQ(p.height, 2);
  EXPECT_EQ(pixelAt(p, 1, 0), 0xFF0A0A0Au);
  EXPECT_EQ(pixelAt(p, 0, 1), 0xFF808080u);

  ASSERT_TRUE(writePng(dir.file("m.png"), PngKind::mono1, 3, 2, gray, 3, error)) << error;
  ASSERT_TRUE(readPng(dir.file("m.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 2, 0), 0xFF000000u);  // 127 is dark
  EXPECT_EQ(pixelAt(p, 0, 1), 0xFFFFFFFFu);  // 128 is bright

  // 400 wide packs into 50 bytes a row; the last pixel of a row lands in its own bit.
  std::vector<uint8_t> panel(400 * 240, 0);
  panel[399] = 255;
  panel[400 * 239] = 255;
  ASSERT_TRUE(writePng(dir.file("panel.png"), PngKind::mono1, 400, 240, panel.data(), 400, error)) << error;
  ASSERT_TRUE(readPng(dir.file("panel.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 399, 0), 0xFFFFFFFFu);
  EXPECT_EQ(pixelAt(p, 398, 0), 0xFF000000u);
  EXPECT_EQ(pixelAt(p, 0, 239), 0xFFFFFFFFu);
  EXPECT_EQ(pixelAt(p, 0, 0), 0xFF000000u);

  const uint8_t bgrx[2 * 4] = {1, 2, 3, 0, 250, 128, 7, 0};
  ASSERT_TRUE(writePng(dir.file("c.png"), PngKind::rgb8, 2, 1, bgrx, 8, error)) << error;
  ASSERT_TRUE(readPng(dir.file("c.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 0, 0), 0xFF030201u);
  EXPECT_EQ(pixelAt(p, 1, 0), 0xFF0780FAu);
}

TEST(PngFile, OtherLayoutsAreNormalisedTo8BitBgrx) {
  vltest::TempDir dir;
  std::string error;
  PngPicture p;

  const uint8_t rgba[2 * 4] = {255, 0, 0, 255, 255, 255, 255, 0};  // opaque red, transparent white
  writeWithLibpng(dir.file("rgba.png"), PNG_FORMAT_RGBA, rgba, 2, 1);
  ASSERT_TRUE(readPng(dir.file("rgba.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(pixelAt(p, 1, 0), 0xFF000000u);  // composited onto black

  const uint16_t linear[2] = {0, 65535};
  writeWithLibpng(dir.file("g16.png"), PNG_FORMAT_LINEAR_Y, linear, 2, 1);
  ASSERT_TRUE(readPng(dir.file("g16.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 0, 0), 0xFF000000u);
  EXPECT_EQ(pixelAt(p, 1, 0), 0xFFFFFFFFu);

  const uint8_t palette[2 * 3] = {0, 0, 255, 0, 255, 0};
  const uint8_t indices[3] = {1, 0, 1};
  writeWithLibpng(dir.file("pal.png"), PNG_FORMAT_RGB_COLORMAP, indices, 3, 1, palette, 2);
  ASSERT_TRUE(readPng(dir.file("pal.png"), p, error)) << error;
  EXPECT_EQ(pixelAt(p, 0, 0), 0xFF00FF00u);
  EXPECT_EQ(pixelAt(p, 1, 0), 0xFF0000FFu);
}

TEST(PngFile, BadFilesAndSizesAreRefusedWithAReason) {
  vltest::TempDir dir;
  std::string error;
  PngPicture p;
  EXPECT_FALSE(readPng(dir.file("missing.png"), p, error));
  EXPECT_NE(error.find("missing.png"), std::string::npos);

  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("junk.png"), "not a picture at all"));
  error.clear();
  EXPECT_FALSE(readPng(dir.file("junk.png"), p, error));
  EXPECT_FALSE(error.empty());

  // A valid header whose data stops early.
  const uint8_t gray[16 * 16] = {};
  ASSERT_TRUE(writePng(dir.file("whole.png"), PngKind::gray8, 16, 16, gray, 16, error));
  std::string bytes = vltest::TempDir::readFile(dir.file("whole.png"));
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("cut.png"), bytes.substr(0, bytes.size() - 20)));
  error.clear();
  EXPECT_FALSE(readPng(dir.file("cut.png"), p, error));
  EXPECT_FALSE(error.empty());

  EXPECT_FALSE(writePng(dir.file("empty.png"), PngKind::gray8, 0, 5, gray, 16, error));
  EXPECT_FALSE(writePng(dir.path() + "/no/such/folder/x.png", PngKind::gray8, 1, 1, gray, 1, error));
}

}  // namespace
