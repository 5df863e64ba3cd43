#pragma once

#include <memory>

#include "ui/DpiScale.h"
#include "ui/Painter.h"

namespace ui {

// Takes 96-dpi layout coordinates and draws through a painter in the screen's pixels: rectangles
// by their scaled edges, 1-unit lines and frames as bands as thick as one unit's pixels. The inner
// painter's fonts are already the size for that dpi.
class ScaledPainter : public Painter {
 public:
  ScaledPainter(std::unique_ptr<Painter> inner, DpiScale scale) : inner_(std::move(inner)), scale_(scale) {}

  void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void frameRect(const Rect& r, Colour c) override;
  void fillRect(const Rect& r, Colour c) override { inner_->fillRect(scale_.toDevice(r), c); }
  void drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore, Colour back) override {
    inner_->drawText(text, scale_.toDevice(r), flags, font, fore, back);
  }
  int32_t textWidth(std::string_view text, Font font) override {
    return scale_.lengthToLogical(inner_->textWidth(text, font));
  }
  void drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent, Colour fore,
                         Colour back) override {
    inner_->drawTextCondensed(text, scale_.toDevice(r), flags, font, percent, fore, back);
  }
  int32_t textWidthCondensed(std::string_view text, Font font, int32_t percent) override {
    return scale_.lengthToLogical(inner_->textWidthCondensed(text, font, percent));
  }

 private:
  std::unique_ptr<Painter> inner_;
  DpiScale scale_;
};

// The painter itself at 96 dpi, else the painter behind a ScaledPainter.
std::unique_ptr<Painter> scaledPainter(std::unique_ptr<Painter> inner, DpiScale scale);

}  // namespace ui
