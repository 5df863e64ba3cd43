#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vltools {

// A picture as 8-bit blue, green, red, unused bytes per pixel, rows top-down with no padding
// (stride = 4 × width): the layout the program's 32-bit bitmaps use.
struct PngPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgrx;

  int32_t stride() const { return width * 4; }
};

// Reads any PNG (gray, RGB, with or without alpha, palette, 16 bits); transparency is
// composited onto black. False with a one-line reason in error when the file is missing,
// broken or larger than the tools accept.
bool readPng(const std::string& path, PngPicture& out, std::string& error);

enum class PngKind {
  mono1,   // 1 bit per pixel: a source byte of 128 or more is white
  onOff1,  // 1 bit per pixel: a source byte other than 0 is white (a decoded panel as it is)
  gray8,
  rgb8,
};

// Writes a PNG from 8-bit gray rows (mono1, onOff1, gray8: one byte per pixel) or BGRX rows (rgb8).
bool writePng(const std::string& path, PngKind kind, int32_t width, int32_t height, const uint8_t* rows,
              int32_t stride, std::string& error);

}  // namespace vltools
