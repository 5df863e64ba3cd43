#pragma once

#include <windows.h>

#include "ui/Painter.h"

#include <string>
#include <string_view>

namespace ui {

// UTF-8 to UTF-16 for the wide-character API, so the text reads right whatever the code page.
std::wstring widen(std::string_view utf8);

// Draws with GDI into a device context it does not own, with the fonts for dpi.
class Painter_Win32 : public Painter {
 public:
  explicit Painter_Win32(HDC dc, int32_t dpi = 96);
  ~Painter_Win32() override = default;

  void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void frameRect(const Rect& r, Colour c) override;
  void fillRect(const Rect& r, Colour c) override;
  void drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore, Colour back) override;
  int32_t textWidth(std::string_view text, Font font) override;
  void drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent, Colour fore,
                         Colour back) override;
  int32_t textWidthCondensed(std::string_view text, Font font, int32_t percent) override;

  HDC dc() const { return dc_; }

 private:
  void drawWith(HFONT f, std::string_view text, const Rect& r, uint32_t flags, Colour fore, Colour back);
  int32_t widthWith(HFONT f, std::string_view text);

  HDC dc_;
  int32_t dpi_;
};

// The two process-wide fonts at 9 points for dpi, narrowed to percent of their width, made on
// first use and kept for the life of the process.
HFONT widgetFont(Font font, int32_t dpi, int32_t percent = 100);

}  // namespace ui
