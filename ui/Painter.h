#pragma once

#include <cstdint>
#include <string_view>

#include "comsrc/Rect.h"

namespace ui {

using Rect = comsrc::Rect;

// The three colours every widget draws with.
enum class Colour : uint8_t { white, black, grey };

constexpr uint32_t colourRef(Colour c) {
  return c == Colour::white ? 0xFFFFFFu : c == Colour::black ? 0x000000u : 0x999999u;
}

// The two process-wide fonts: the face "MS UI Gothic" at 9 points, weight 400 or 700.
enum class Font : uint8_t { normal, bold };

// Text layout flags, with the values of the Win32 DrawText flags.
enum : uint32_t {
  dtLeft = 0x00,
  dtCenter = 0x01,
  dtRight = 0x02,
  dtVCenter = 0x04,
  dtSingleLine = 0x20,
};

constexpr Rect insetRect(const Rect& r, int32_t d) { return {r.left + d, r.top + d, r.right - d, r.bottom - d}; }

// What the widgets draw with; one implementation per platform's drawing API, and a recording
// one in the tests.
class Painter {
 public:
  virtual ~Painter() = default;
  // A line in the default 1-pixel black pen; the end point is left out, as LineTo does.
  virtual void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) = 0;
  // A 1-pixel frame just inside r.
  virtual void frameRect(const Rect& r, Colour c) = 0;
  virtual void fillRect(const Rect& r, Colour c) = 0;
  // UTF-8 text laid out in r by the dt flags and clipped to it, on an opaque background.
  // "&x" underlines x and "&&" is a plain "&", as DrawText does without DT_NOPREFIX.
  virtual void drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore,
                        Colour back) = 0;
  // Advance width of text in pixels (prefix characters left out); the menu bar lays out with it.
  virtual int32_t textWidth(std::string_view text, Font font) = 0;
  // The same with every glyph narrowed to `percent` of its width (50 to 100), for text that
  // would not fit otherwise. A painter that cannot narrow draws and measures the text as it is.
  virtual void drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent,
                                 Colour fore, Colour back) {
    (void)percent;
    drawText(text, r, flags, font, fore, back);
  }
  virtual int32_t textWidthCondensed(std::string_view text, Font font, int32_t percent) {
    (void)percent;
    return textWidth(text, font);
  }
};

// Draws text whole in r: condensed, in steps of 5 %, only when it is wider than r.
void drawTextFitted(Painter& p, std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore,
                    Colour back);

}  // namespace ui
