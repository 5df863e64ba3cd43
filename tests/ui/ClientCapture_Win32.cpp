#include "ClientCapture_Win32.h"

namespace vltest {

HBITMAP makeDib32(HDC dc, int w, int h, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  *bits = nullptr;
  return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

Image grabClient(HWND hwnd) {
  Image img;
  RECT rc{};
  GetClientRect(hwnd, &rc);
  const int w = rc.right, h = rc.bottom;
  void* bits = nullptr;
  HDC wdc = GetDC(hwnd);
  HDC mem = CreateCompatibleDC(wdc);
  HBITMAP dib = makeDib32(wdc, w, h, &bits);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, wdc, 0, 0, SRCCOPY);
    GdiFlush();
    img.width = w, img.height = h;
    img.pixels.resize(static_cast<size_t>(w) * h);
    const auto* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(hwnd, wdc);
  return img;
}

void clickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
}

}  // namespace vltest
