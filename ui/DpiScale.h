#pragma once

#include <cstdint>

#include "ui/Painter.h"

namespace ui {

// Windows lays a window out at 96 dots per inch; a screen with more dots per inch gets the same
// layout multiplied. Widgets keep their 96-dpi coordinates and the window and painter adapters
// map them to the screen's pixels and back.
struct DpiScale {
  int32_t dpi = 96;

  bool identity() const { return dpi == 96; }
  // A layout edge to the pixel edge it falls on: rounded, so neighbouring rectangles still abut.
  int32_t toDevice(int32_t x) const { return floorDiv(int64_t{x} * dpi + 48, 96); }
  Rect toDevice(const Rect& r) const { return {toDevice(r.left), toDevice(r.top), toDevice(r.right), toDevice(r.bottom)}; }
  // A pixel back to the layout unit whose pixels hold it (the exact inverse of toDevice).
  int32_t toLogical(int32_t px) const {
    int32_t x = floorDiv(int64_t{px} * 96, dpi);
    while (toDevice(x + 1) <= px) ++x;
    while (toDevice(x) > px) --x;
    return x;
  }
  // A pixel length to layout units, rounded up so that what fits in layout units fits in pixels.
  int32_t lengthToLogical(int32_t px) const { return static_cast<int32_t>((int64_t{px} * 96 + dpi - 1) / dpi); }

 private:
  static int32_t floorDiv(int64_t a, int64_t b) { return static_cast<int32_t>(a >= 0 ? a / b : -((-a + b - 1) / b)); }
};

// Screens report anything from 72 to 300 dots per inch; below 48 or above 480 the value is taken
// as broken and the layout stays at 96.
constexpr int32_t saneDpi(double dpi) { return dpi >= 48.0 && dpi <= 480.0 ? static_cast<int32_t>(dpi + 0.5) : 96; }

}  // namespace ui
