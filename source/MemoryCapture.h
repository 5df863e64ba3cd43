#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "comsrc/DIBitmap.h"
#include "source/ScreenCapture.h"

// The largest side of a frame taken from a compositor or a stream.
constexpr int32_t kMaxCaptureSide = 16384;

// A capture whose frames come as pixels in this process (a compositor's or a stream's shared
// memory): its bitmaps are plain 32-bit memory, and there is no screen-compatible bitmap.
class MemoryCapture : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap> b(new (std::nothrow) comsrc::DIBitmap());
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  int32_t createCompatBitmap(ScreenContext*, int32_t, int32_t, std::unique_ptr<comsrc::Bitmap>& out) override {
    out.reset();
    return 0;
  }
};

// One row of a capture bitmap `width` pixels wide: pixels x0 … x1 − 1 from src (4 bytes each,
// `step` bytes apart: a turned frame walks its columns; red and blue swapped when asked), black on
// either side.
inline void copyCaptureRow(uint8_t* row, int32_t width, const uint8_t* src, int32_t x0, int32_t x1, bool swapRedBlue,
                           ptrdiff_t step = 4) {
  std::memset(row, 0, size_t(x0) * 4);
  if (!swapRedBlue && step == 4) {
    std::memcpy(row + size_t(x0) * 4, src, size_t(x1 - x0) * 4);
  } else {
    const int r = swapRedBlue ? 2 : 0;
    for (int32_t x = x0; x < x1; ++x, src += step) {
      uint8_t* to = row + size_t(x) * 4;
      to[0] = src[r], to[1] = src[1], to[2] = src[2 - r], to[3] = src[3];
    }
  }
  std::memset(row + size_t(x1) * 4, 0, size_t(width - x1) * 4);
}
