#pragma once

#include "ui/Display_X11.h"
#include "ui/Painter.h"

namespace ui {

// Draws into an X drawable: core requests for lines and rectangles, Xft for text. Coordinates
// are shifted by (dx, dy) and everything is clipped to clip (given before the shift).
class Painter_X11 : public Painter {
 public:
  Painter_X11(x11::Connection& c, Drawable d, int32_t dx, int32_t dy, const Rect& clip);
  ~Painter_X11() override;
  Painter_X11(const Painter_X11&) = delete;
  Painter_X11& operator=(const Painter_X11&) = delete;

  void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void frameRect(const Rect& r, Colour c) override;
  void fillRect(const Rect& r, Colour c) override;
  void drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore, Colour back) override;
  int32_t textWidth(std::string_view text, Font font) override;
  void drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent, Colour fore,
                         Colour back) override;
  int32_t textWidthCondensed(std::string_view text, Font font, int32_t percent) override;

 private:
  void drawWith(XftFont* f, std::string_view text, const Rect& r, uint32_t flags, Colour fore, Colour back);
  void fill(const Rect& r, Colour c, const Rect& clip);  // r and clip in drawable coordinates
  Rect toDevice(const Rect& r) const { return offsetRect(r, dx_, dy_); }

  x11::Connection& c_;
  Drawable drawable_;
  GC gc_;
  XftDraw* draw_;
  int32_t dx_;
  int32_t dy_;
  Rect clip_;  // drawable coordinates
};

}  // namespace ui
