#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "source/ScreenCapture.h"

// The largest side of a frame taken from a compositor or a stream.
constexpr int32_t kMaxCaptureSide = 16384;

// Whether `format` is one of the 32-bit formats read as they come (bytes blue, green, red,
// unused) or one of those read with red and blue swapped.
inline bool readableFormat(uint32_t format, std::initializer_list<uint32_t> asTheyCome,
                           std::initializer_list<uint32_t> swapped, bool& swapRedBlue) {
  for (uint32_t f : asTheyCome)
    if (f == format) return swapRedBlue = false, true;
  for (uint32_t f : swapped)
    if (f == format) return swapRedBlue = true, true;
  return false;
}

// A capture whose frames come as pixels in this process (a compositor's or a stream's shared
// memory): its bitmaps are plain 32-bit memory, and it keeps the damage of its last copy itself.
class MemoryCapture : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap> b(new (std::nothrow) comsrc::DIBitmap());
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  bool damagedArea(comsrc::Rect& out) override {
    if (!damageKnown) return false;
    out = damage;
    return true;
  }

 protected:
  // Copies `area` of the screen into the target, from a frame shown at `origin` whose pixels
  // `frameWidth` × `frameHeight` (none when 0) are found by `at(x, y, step)`: the address of the
  // frame's pixel (x, y), with `step` set to the bytes to (x + 1, y). What the frame does not
  // cover is black; red and blue are swapped when asked.
  template <class At>
  static bool copyFrame(comsrc::DIBitmap& target, const comsrc::Rect& area, int32_t originX, int32_t originY,
                        int32_t frameWidth, int32_t frameHeight, bool swapRedBlue, At&& at) {
    if (target.getBitsPerPixel() != 32) return false;
    uint8_t* pixels = target.lockPixels();
    if (!pixels) return false;
    const int32_t w = area.width();
    const int32_t x0 = std::clamp(originX - area.left, 0, w);
    const int32_t x1 = std::clamp(originX + frameWidth - area.left, x0, w);
    for (int32_t y = 0; y < area.height(); ++y) {
      uint8_t* row = pixels + ptrdiff_t{y} * target.getStride();
      const int32_t fy = area.top + y - originY;
      if (fy < 0 || fy >= frameHeight || x0 == x1) {
        std::memset(row, 0, size_t(w) * 4);
        continue;
      }
      ptrdiff_t step = 4;
      const uint8_t* src = at(area.left + x0 - originX, fy, step);
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
      std::memset(row + size_t(x1) * 4, 0, size_t(w - x1) * 4);
    }
    target.unlockPixels();
    return true;
  }

  // The damage of the copy of `area` just made: unknown, or `changed` (on the screen).
  void noteDamage(bool known, const comsrc::Rect& changed, const comsrc::Rect& area) {
    damageKnown = known;
    damage = comsrc::Rect{};
    if (known)
      intersectRect(damage, comsrc::offsetRect(changed, -area.left, -area.top),
                    comsrc::Rect{0, 0, area.width(), area.height()});
  }

 private:
  bool damageKnown = false;
  comsrc::Rect damage;  // of the last copy, in its target
};
