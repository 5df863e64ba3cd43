#include "ui/Painter.h"

#include <algorithm>

namespace ui {

namespace {

constexpr int32_t kNarrowest = 50;
constexpr int32_t kStep = 5;

}  // namespace

void drawTextFitted(Painter& p, std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore,
                    Colour back) {
  // A pixel of room on each side, so the first and last strokes do not merge with a frame.
  const int32_t room = r.width() - 2;
  const int32_t natural = p.textWidth(text, font);
  if (natural <= room || natural <= 0 || room <= 0) {
    p.drawText(text, r, flags, font, fore, back);
    return;
  }
  int32_t percent = std::max(kNarrowest, room * 100 / natural / kStep * kStep);
  while (percent > kNarrowest && p.textWidthCondensed(text, font, percent) > room) percent -= kStep;
  p.drawTextCondensed(text, r, flags, font, percent, fore, back);
}

}  // namespace ui
