#include "ui/Painter_Win32.h"

#include <vector>

#include "ui/PrefixText.h"

namespace ui {

namespace {

RECT toRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// UTF-8 to UTF-16 for the wide-character API, so the text reads right whatever the code page.
std::wstring widen(std::string_view s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

HFONT makeFont(int weight) {
  HDC screen = GetDC(nullptr);
  const int height = MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH,
                     "MS UI Gothic");
}

}  // namespace

HFONT widgetFont(Font font) {
  static HFONT normal = makeFont(FW_NORMAL);
  static HFONT bold = makeFont(FW_BOLD);
  return font == Font::bold ? bold : normal;
}

Painter_Win32::Painter_Win32(HDC dc) : dc_(dc) {}

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
  std::wstring w = widen(text);
  SetTextColor(dc_, colourRef(fore));
  SetBkColor(dc_, colourRef(back));
  HGDIOBJ old = SelectObject(dc_, widgetFont(font));
  RECT rc = toRECT(r);
  DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, flags);
  SelectObject(dc_, old);
}

int32_t Painter_Win32::textWidth(std::string_view text, Font font) {
  std::wstring w = widen(resolvePrefix(text).shown);
  HGDIOBJ old = SelectObject(dc_, widgetFont(font));
  SIZE size{};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  SelectObject(dc_, old);
  return size.cx;
}

}  // namespace ui
