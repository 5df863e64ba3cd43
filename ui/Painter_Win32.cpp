#include "ui/Painter_Win32.h"

#include <algorithm>
#include <vector>

#include "ui/PrefixText.h"

namespace ui {

std::wstring widen(std::string_view s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

namespace {

RECT toRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

struct MadeFont {
  Font font;
  int32_t dpi;
  int32_t percent;
  HFONT handle;
};

HFONT makeFont(Font font, int32_t dpi, int32_t percent) {
  // A narrowed font asks for a fraction of the full font's average character width.
  int width = 0;
  if (percent < 100) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, widgetFont(font, dpi));
    TEXTMETRICW tm{};
    GetTextMetricsW(screen, &tm);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    width = std::max(1, MulDiv(tm.tmAveCharWidth, percent, 100));
  }
  return CreateFontA(MulDiv(9, dpi, 72), width, 0, 0, font == Font::bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH, "MS UI Gothic");
}

}  // namespace

HFONT widgetFont(Font font, int32_t dpi, int32_t percent) {
  static std::vector<MadeFont> made;
  percent = std::min(percent, 100);
  for (const MadeFont& m : made)
    if (m.font == font && m.dpi == dpi && m.percent == percent) return m.handle;
  HFONT f = makeFont(font, dpi, percent);
  made.push_back({font, dpi, percent, f});
  return f;
}

Painter_Win32::Painter_Win32(HDC dc, int32_t dpi) : dc_(dc), dpi_(dpi) {}

void Painter_Win32::line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  MoveToEx(dc_, x0, y0, nullptr);
  LineTo(dc_, x1, y1);
}

void Painter_Win32::frameRect(const Rect& r, Colour c) {
  HBRUSH brush = CreateSolidBrush(colourRef(c));
  if (!brush) return;
  const RECT rc = toRECT(r);
  FrameRect(dc_, &rc, brush);
  DeleteObject(brush);
}

void Painter_Win32::fillRect(const Rect& r, Colour c) {
  HBRUSH brush = CreateSolidBrush(colourRef(c));
  if (!brush) return;
  const RECT rc = toRECT(r);
  FillRect(dc_, &rc, brush);
  DeleteObject(brush);
}

void Painter_Win32::drawText(std::string_view text, const Rect& r, uint32_t flags, Font font, Colour fore,
                             Colour back) {
  drawWith(widgetFont(font, dpi_), text, r, flags, fore, back);
}

int32_t Painter_Win32::textWidth(std::string_view text, Font font) { return widthWith(widgetFont(font, dpi_), text); }

void Painter_Win32::drawTextCondensed(std::string_view text, const Rect& r, uint32_t flags, Font font, int32_t percent,
                                      Colour fore, Colour back) {
  drawWith(widgetFont(font, dpi_, percent), text, r, flags, fore, back);
}

int32_t Painter_Win32::textWidthCondensed(std::string_view text, Font font, int32_t percent) {
  return widthWith(widgetFont(font, dpi_, percent), text);
}

void Painter_Win32::drawWith(HFONT f, std::string_view text, const Rect& r, uint32_t flags, Colour fore, Colour back) {
  std::wstring w = widen(text);
  SetTextColor(dc_, colourRef(fore));
  SetBkColor(dc_, colourRef(back));
  HGDIOBJ old = SelectObject(dc_, f);
  RECT rc = toRECT(r);
  DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, flags);
  SelectObject(dc_, old);
}

int32_t Painter_Win32::widthWith(HFONT f, std::string_view text) {
  std::wstring w = widen(resolvePrefix(text).shown);
  HGDIOBJ old = SelectObject(dc_, f);
  SIZE size{};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  SelectObject(dc_, old);
  return size.cx;
}

}  // namespace ui
