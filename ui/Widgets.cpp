#include "ui/Widgets.h"

#include "ui/Window.h"

namespace ui {

namespace {

constexpr Colour textColour(const Base& w) { return w.enabled ? Colour::black : Colour::grey; }

constexpr uint32_t alignFlag(int32_t align) { return align == 0 ? dtLeft : align == 1 ? dtCenter : dtRight; }

}  // namespace

void Base::invalidate(Window& w) { w.invalidate(&rect); }

void GroupRect::paint(Painter& p) {
  p.line(rect.left + 3, rect.bottom, rect.right, rect.bottom);
  p.line(rect.right, rect.bottom, rect.right, rect.top + 2);
  p.frameRect(rect, Colour::black);
  p.fillRect(insetRect(rect, 1), Colour::white);
}

void Label::paint(Painter& p) {
  p.fillRect(rect, Colour::white);
  drawTextFitted(p, text, rect, dtSingleLine | dtVCenter | alignFlag(align), bold ? Font::bold : Font::normal,
             textColour(*this), Colour::white);
}

void Button::paint(Painter& p) {
  p.line(rect.left + 2, rect.bottom, rect.right, rect.bottom);
  p.line(rect.right, rect.bottom, rect.right, rect.top + 1);
  constexpr uint32_t flags = dtSingleLine | dtVCenter | dtCenter;
  if (pressed && enabled) {
    p.fillRect(rect, Colour::black);
    drawTextFitted(p, text, rect, flags, Font::normal, Colour::white, Colour::black);
    return;
  }
  p.frameRect(rect, enabled ? Colour::black : Colour::grey);
  const Rect inside = insetRect(rect, 1);
  p.fillRect(inside, Colour::white);
  drawTextFitted(p, text, inside, flags, Font::normal, textColour(*this), Colour::white);
}

void Checkbox::paint(Painter& p) {
  const int32_t t = (rect.top + rect.bottom - 14) / 2;
  const Rect box{rect.left + 1, t, rect.left + 15, t + 14};
  p.line(rect.left + 3, t + 14, rect.left + 15, t + 14);
  p.line(rect.left + 15, t + 14, rect.left + 15, t + 1);
  if (pressed && enabled) {
    p.fillRect(box, Colour::black);
    p.fillRect(insetRect(box, 2), checked ? Colour::black : Colour::white);
  } else {
    p.frameRect(box, enabled ? Colour::black : Colour::grey);
    p.frameRect(insetRect(box, 1), Colour::white);
    const Colour mark = enabled ? Colour::black : Colour::grey;
    p.fillRect(insetRect(box, 2), checked ? mark : Colour::white);
  }
  const Rect textArea{rect.left + 20, rect.top, rect.right, rect.bottom};
  drawTextFitted(p, text, textArea, dtSingleLine | dtVCenter, Font::bold, textColour(*this), Colour::white);
}

void OnOffBtn::paint(Painter& p) {
  p.line(rect.right, rect.bottom - 1, rect.right, rect.top + 1);
  if (pressed && enabled) {
    p.frameRect(rect, Colour::black);
    p.frameRect(insetRect(rect, 1), Colour::black);
  } else {
    p.frameRect(rect, enabled ? Colour::black : Colour::grey);
    p.frameRect(insetRect(rect, 1), Colour::white);
  }
  const Rect inside = insetRect(rect, 2);
  Colour fore = textColour(*this);
  Colour back = Colour::white;
  if (checked) {
    back = enabled ? Colour::black : Colour::grey;
    fore = Colour::white;
  }
  p.fillRect(inside, back);
  drawTextFitted(p, text, inside, dtSingleLine | dtVCenter | dtCenter, Font::normal, fore, back);
}

}  // namespace ui
