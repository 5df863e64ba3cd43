#pragma once

#include <cstdint>

// The layout of one pixel. Components are listed red, green, blue, alpha; at 32 bits a pixel
// is the little-endian word 0xAARRGGBB, so its bytes lie in memory as blue, green, red, alpha.
struct PixelFormat {
  static constexpr int32_t kMaxComponents = 8;
  static constexpr int32_t kFlagMsbFirst24 = 1;  // 24-bit pixels stored most significant byte first
  static constexpr int32_t kFlagIndexed = 2;

  int32_t bitsPerPixel = 0;
  int32_t model = 0;
  int32_t componentCount = 0;
  int32_t componentMax[kMaxComponents] = {};
  int32_t componentShift[kMaxComponents] = {};
  int32_t flags = 0;

  // Entries beyond componentCount do not take part.
  bool equals(const PixelFormat& other) const;
  friend bool operator==(const PixelFormat& a, const PixelFormat& b) { return a.equals(b); }
};

// Fills out with the program's standard format for a depth of 1, 2, 4, 8, 16, 24 or 32 bits;
// -1 and out unchanged for any other depth.
int32_t buildStandardFormat(PixelFormat& out, int32_t bitsPerPixel);
