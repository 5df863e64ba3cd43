#pragma once

#include <windows.h>

#include <memory>

#include "comsrc/DIBitmap.h"

namespace comsrc {

// A DIB section: GDI draws into it through a memory DC, and its pixels are read in place.
// Rows lie bottom-up, so the pixel pointer is the top row and the stride is negative.
class DIBitmap_Win32 : public DIBitmap {
 public:
  DIBitmap_Win32();
  ~DIBitmap_Win32() override;

  // Only formats that describeFormat gives (32 bits); -1 for any other.
  int32_t createWithFormat(int32_t width, int32_t height, const PixelFormat& format) override;
  // The width is raised to a multiple of 8 for the section; getWidth stays the one asked for.
  int32_t createWithDepth(int32_t width, int32_t height, int32_t bitsPerPixel) override;
  // From a BITMAPINFO block (copied). -100 when a section exists, -4 out of memory, -1 refused.
  virtual int32_t createFromInfo(const void* info, int32_t infoSize);
  // The standard 32-bit format; -1 and out unchanged for any other depth.
  virtual int32_t describeFormat(PixelFormat& out, int32_t bitsPerPixel);

 private:
  HDC memoryDC = nullptr;
  HBITMAP section = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  std::unique_ptr<uint8_t[]> info;
  int32_t infoSize = 0;
};

}  // namespace comsrc
