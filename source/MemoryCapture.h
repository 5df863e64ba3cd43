#pragma once

#include <memory>
#include <new>

#include "comsrc/DIBitmap.h"
#include "source/ScreenCapture.h"

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
