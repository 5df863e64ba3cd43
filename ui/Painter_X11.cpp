#include "ui/Painter_X11.h"

#include <algorithm>
#include <cstdlib>

#include "ui/PrefixText.h"

namespace ui {

namespace {

Rect intersect(const Rect& a, const Rect& b) {
  Rect out;
  comsrc::intersectRect(out, a, b);
  return out;
}

int32_t textAdvance(x11::Connection& c, XftFont* f, std::string_view s) {
  if (s.empty() || !f) return 0;
  XGlyphInfo info;
  XftTextExtentsUtf8(c.dpy, f, reinterpret_cast<const FcChar8*>(s.data()), static_cast<int>(s.size()), &info);
  return info.xOff;
}

}  // namespace

Painter_X11::Painter_X11(x11::Connection& c, Drawable d, int32_t dx, int32_t dy, const Rect& clip)
    : c_(c),
      drawable_(d),
      gc_(XCreateGC(c.dpy, d, 0, nullptr)),
      draw_(XftDrawCreate(c.dpy, d, c.visual, c.colormap)),
      dx_(dx),
      dy_(dy),
      clip_(offsetRect(clip, dx, dy)) {}

Painter_X11::~Painter_X11() {
  if (draw_) XftDrawDestroy(draw_);
  XFreeGC(c_.dpy, gc_);
  XFlush(c_.dpy);
}

void Painter_X11::fill(const Rect& r, Colour c, const Rect& clip) {
  const Rect v = intersect(r, clip);
  if (v.isEmpty()) return;
  XSetForeground(c_.dpy, gc_, x11::pixel(c_, c));
  XFillRectangle(c_.dpy, drawable_, gc_, v.left, v.top, static_cast<unsigned>(v.width()),
                 static_cast<unsigned>(v.height()));
}

void Painter_X11::line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  x0 += dx_, x1 += dx_, y0 += dy_, y1 += dy_;
  if (x0 == x1 && y0 == y1) return;
  if (x0 == x1) {
    const Rect r = y1 > y0 ? Rect{x0, y0, x0 + 1, y1} : Rect{x0, y1 + 1, x0 + 1, y0 + 1};
    fill(r, Colour::black, clip_);
    return;
  }
  if (y0 == y1) {
    const Rect r = x1 > x0 ? Rect{x0, y0, x1, y0 + 1} : Rect{x1 + 1, y0, x0 + 1, y0 + 1};
    fill(r, Colour::black, clip_);
    return;
  }
  // Slanted lines: Bresenham, leaving out the end point.
  const int32_t ax = std::abs(x1 - x0), ay = -std::abs(y1 - y0);
  const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int32_t err = ax + ay;
  while (x0 != x1 || y0 != y1) {
    fill({x0, y0, x0 + 1, y0 + 1}, Colour::black, clip_);
    const int32_t e2 = 2 * err;
    if (e2 >= ay) err += ay, x0 += sx;
    if (e2 <= ax) err += ax, y0 += sy;
  }
}

void Painter_X11::frameRect(const Rect& r, Colour c) {
  const Rect d = toDevice(r);
  if (d.isEmpty()) return;
  fill({d.left, d.top, d.right, d.top + 1}, c, clip_);
  fill({d.left, d.bottom - 1, d.right, d.bottom}, c, clip_);
  fill({d.left, d.top, d.left + 1, d.bottom}, c, clip_);
  fill({d.right - 1, d.top, d.right, d.bottom}, c, clip_);
}

void Painter_X11::fillRect(const Rect& r, Colour c) { fill(toDevice(r), c, clip_); }

void Painter_X11::drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore,
                           Colour back) {
  drawWith(c_.fonts[static_cast<int>(font)], text, r, flags, fore, back);
}

void Painter_X11::drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent,
                                    Colour fore, Colour back) {
  drawWith(x11::condensedFont(c_, font, percent), text, r, flags, fore, back);
}

int32_t Painter_X11::textWidthCondensed(std::string_view text, Font font, int32_t percent) {
  return textAdvance(c_, x11::condensedFont(c_, font, percent), resolvePrefix(text).shown);
}

void Painter_X11::drawWith(XftFont* f, std::string_view text, const Rect& r, uint32_t flags, Colour fore, Colour back) {
  const Rect box = intersect(toDevice(r), clip_);
  if (!f || box.isEmpty()) return;
  const PrefixText pt = resolvePrefix(text);
  const Rect d = toDevice(r);
  const int32_t width = textAdvance(c_, f, pt.shown);
  const int32_t height = c_.cellHeight;
  // The baseline splits the line as the font splits its cell, so descenders ("_") stay inside.
  const int32_t ascent = (height * f->ascent + (f->ascent + f->descent) / 2) / std::max(1, f->ascent + f->descent);
  int32_t x = d.left;
  if (flags & dtCenter)
    x = d.left + (d.width() - width) / 2;
  else if (flags & dtRight)
    x = d.right - width;
  int32_t y = d.top;
  if ((flags & dtSingleLine) && (flags & dtVCenter)) y = d.top + (d.height() - height) / 2;

  // The opaque background covers the text's cell, as in the default background mode.
  fill({x, y, x + width, y + height}, back, box);
  XRectangle xr{static_cast<short>(box.left), static_cast<short>(box.top), static_cast<unsigned short>(box.width()),
                static_cast<unsigned short>(box.height())};
  XftDrawSetClipRectangles(draw_, 0, 0, &xr, 1);
  XftDrawStringUtf8(draw_, &c_.colours[static_cast<int>(fore)], f, x, y + ascent,
                    reinterpret_cast<const FcChar8*>(pt.shown.data()), static_cast<int>(pt.shown.size()));
  XftDrawSetClip(draw_, nullptr);
  if (pt.underlineAt != std::string::npos) {
    const std::string_view shown(pt.shown);
    const int32_t ux = x + textAdvance(c_, f, shown.substr(0, pt.underlineAt));
    const int32_t uw = textAdvance(c_, f, shown.substr(pt.underlineAt, pt.underlineLen));
    // As thick as a layout pixel is at this dpi.
    const int32_t uy = y + ascent + 1, thick = std::max(1, (height + 6) / 12);
    fill({ux, uy, ux + uw, uy + thick}, fore, box);
  }
}

int32_t Painter_X11::textWidth(std::string_view text, Font font) {
  return textAdvance(c_, c_.fonts[static_cast<int>(font)], resolvePrefix(text).shown);
}

}  // namespace ui
