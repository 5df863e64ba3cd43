#include "ui/ScaledPainter.h"

namespace ui {

void ScaledPainter::line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  // The unit-wide band that the 1-pixel line covers at 96 dpi, end point left out.
  if (x0 == x1 && y0 != y1) {
    fillRect(y1 > y0 ? Rect{x0, y0, x0 + 1, y1} : Rect{x0, y1 + 1, x0 + 1, y0 + 1}, Colour::black);
  } else if (y0 == y1 && x0 != x1) {
    fillRect(x1 > x0 ? Rect{x0, y0, x1, y0 + 1} : Rect{x1 + 1, y0, x0 + 1, y0 + 1}, Colour::black);
  } else {
    inner_->line(scale_.toDevice(x0), scale_.toDevice(y0), scale_.toDevice(x1), scale_.toDevice(y1));
  }
}

void ScaledPainter::frameRect(const Rect& r, Colour c) {
  if (r.isEmpty()) return;
  fillRect({r.left, r.top, r.right, r.top + 1}, c);
  fillRect({r.left, r.bottom - 1, r.right, r.bottom}, c);
  fillRect({r.left, r.top, r.left + 1, r.bottom}, c);
  fillRect({r.right - 1, r.top, r.right, r.bottom}, c);
}

std::unique_ptr<Painter> scaledPainter(std::unique_ptr<Painter> inner, DpiScale scale) {
  if (!inner || scale.identity()) return inner;
  return std::make_unique<ScaledPainter>(std::move(inner), scale);
}

}  // namespace ui
