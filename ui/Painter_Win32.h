#pragma once

#include <windows.h>

#include "ui/Painter.h"

namespace ui {

// Draws with GDI into a device context it does not own.
class Painter_Win32 : public Painter {
 public:
  explicit Painter_Win32(HDC dc);
  ~Painter_Win32() override = default;

  void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void frameRect(const Rect& r, Colour c) override;
  void fillRect(const Rect& r, Colour c) override;
  void drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore, Colour back) override;
  int32_t textWidth(std::string_view text, Font font) override;

  HDC dc() const { return dc_; }

 private:
  HDC dc_;
};

// The two process-wide fonts, made on first use and kept for the life of the process.
HFONT widgetFont(Font font);

}  // namespace ui
