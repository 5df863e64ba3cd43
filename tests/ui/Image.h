#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vltest {

// A captured picture, 0xRRGGBB per pixel, rows top to bottom.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;

  uint32_t at(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
    return pixels[static_cast<size_t>(y) * width + x];
  }
  Image crop(int32_t left, int32_t top, int32_t w, int32_t h) const;
};

// Writes an 8-bit RGB PNG (stored, uncompressed deflate blocks); false on a write error.
bool writePng(const std::string& path, const Image& image);

// Reads back a PNG that writePng wrote (8-bit RGB, stored deflate blocks); false for any other.
bool readStoredPng(const std::string& path, Image& image);

}  // namespace vltest
