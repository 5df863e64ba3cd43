#pragma once

#include <cstdint>
#include <memory>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"

struct ScreenContext;

namespace comsrc {

inline constexpr int32_t kBitmapKindDIBX11 = 0x102;

// A 32-bit top-down image (bytes blue, green, red, unused) that an X screen is read into:
// in shared memory filled by the MIT-SHM GetImage where the server can attach it, otherwise in
// ordinary memory filled by GetImage. It keeps the screen's connection open while it lives.
class DIBitmap_X11 : public DIBitmap {
 public:
  explicit DIBitmap_X11(ScreenContext* screen, bool allowSharedMemory = true);
  ~DIBitmap_X11() override;

  // Only the standard 32-bit format; -1 for any other.
  int32_t createWithFormat(int32_t width, int32_t height, const PixelFormat& format) override;
  int32_t createWithDepth(int32_t width, int32_t height, int32_t bitsPerPixel) override;

  // Reads the screen's rectangle at (x, y) of this bitmap's size; pixels outside the screen are
  // black. 0, or -1 when there is nothing to read into or the server refused.
  int32_t capture(int32_t x, int32_t y);
  // The same from `part` of another drawable of the screen's pixel format (a window's pixmap),
  // with (x, y) relative to the part's top left; pixels outside the part are black.
  int32_t captureFrom(uint32_t drawable, const Rect& part, int32_t x, int32_t y);
  bool usesSharedMemory() const;

 private:
  void blackOutside(const Rect& kept);

  struct X11;
  std::unique_ptr<X11> x;
};

}  // namespace comsrc
